// The live page: pages arrive as server-sent events and are shown in two panes (pages that a
// filter caught on top, all traffic below). Radio text is untrusted: every piece of a page is
// put into the document with textContent, never parsed as markup.
'use strict';

const kMaxRows = 500;
const kBacklog = 200;
const kColourVars = {
  background: '--c-background', capcode: '--c-capcode', flex_phase: '--c-flex-phase',
  flex_format: '--c-flex-format', timestamp: '--c-timestamp', numeric: '--c-numeric',
  alpha: '--c-alpha', flex_binary: '--c-flex-binary', bit_errors: '--c-bit-errors',
  filter_match: '--c-filter-match', filter_label: '--c-filter-label',
};

const $ = (id) => document.getElementById(id);
const state = {
  source: null,
  lastEventId: '',
  seen: new Set(),
  pages: [],  // newest last, at most kMaxRows, for re-filtering the top pane
  retryTimer: null,
  retryDelay: 1000,
  statusTimer: null,
};

// The token the page was opened with has become a cookie; it leaves the address bar.
if (new URLSearchParams(location.search).has('token')) {
  history.replaceState(null, '', location.pathname);
}

function el(tag, cls, text) {
  const node = document.createElement(tag);
  if (cls) node.className = cls;
  if (text !== undefined && text !== null) node.textContent = String(text);
  return node;
}

function timeOf(page) {
  const t = typeof page.time === 'string' ? page.time : '';
  const m = /T(\d\d:\d\d:\d\d)/.exec(t);
  return m ? m[1] : t;
}

function textClass(page) {
  if (page.filter) return 'c-filter-match';
  if (page.type === 'numeric') return 'c-numeric';
  if (page.type === 'binary' || page.type === 'secure') return 'c-flex-binary';
  return 'c-alpha';
}

function pageRow(page) {
  const row = el('li', 'page');
  row.dataset.id = page.id;
  const meta = el('span', 'meta');
  meta.append(el('span', 'c-timestamp', timeOf(page)), ' ');
  meta.append(el('span', 'c-flex-phase', `${page.protocol || ''} ${page.rate || ''}`), ' ');
  meta.append(el('span', 'c-capcode', page.capcode === null ? '?' : page.capcode), ' ');
  const kind = page.function ? `${page.type} ${page.function}` : page.type;
  meta.append(el('span', 'c-flex-format', kind));
  row.append(meta, ' ');
  if (page.errors) row.append(el('span', 'c-bit-errors', '[errors]'), ' ');
  if (page.station) row.append(el('span', 'c-flex-format', `@${page.station}`), ' ');
  row.append(el('span', `text ${textClass(page)}`, page.text));
  if (page.filter) row.append(' ', el('span', 'label c-filter-label', page.filter));
  return row;
}

function digitsMatch(pattern, capcode) {
  if (!pattern) return false;
  if (capcode === null || capcode === undefined || pattern.length !== capcode.length) return false;
  for (let i = 0; i < pattern.length; i++) {
    if (pattern[i] !== '?' && pattern[i] !== capcode[i]) return false;
  }
  return true;
}

// The top pane: pages a filter of the settings caught, or, when the filter boxes are used,
// pages whose capcode or label they match.
function inTopPane(page) {
  const capcode = $('filter-capcode').value.trim();
  const label = $('filter-label').value.trim().toLowerCase();
  if (!capcode && !label) return Boolean(page.filter);
  if (capcode && digitsMatch(capcode, page.capcode)) return true;
  return Boolean(label && page.filter && page.filter.toLowerCase().includes(label));
}

function prepend(list, row) {
  list.querySelector('.empty')?.remove();
  list.prepend(row);
  while (list.children.length > kMaxRows) list.lastElementChild.remove();
}

function showPage(page, runId) {
  const key = `${runId}:${page.id}`;
  if (state.seen.has(key)) return;
  state.seen.add(key);
  state.pages.push(page);
  if (state.pages.length > kMaxRows) state.seen.delete(`${runId}:${state.pages.shift().id}`);
  prepend($('all'), pageRow(page));
  if (inTopPane(page)) prepend($('filtered'), pageRow(page));
  soonStatus();
}

function redrawTopPane() {
  const list = $('filtered');
  list.replaceChildren();
  for (const page of state.pages) {
    if (inTopPane(page)) list.prepend(pageRow(page));
  }
  if (!list.children.length) list.append(el('li', 'empty', 'No filtered pages yet'));
  localStorage.setItem('pagora.filterCapcode', $('filter-capcode').value);
  localStorage.setItem('pagora.filterLabel', $('filter-label').value);
}

function setConnection(kind, text) {
  const badge = $('connection');
  badge.className = `state ${kind}`;
  badge.textContent = text;
}

function runOf(eventId) {
  const colon = eventId.lastIndexOf(':');
  return colon > 0 ? eventId.slice(0, colon) : '';
}

// Pages the stream could no longer deliver are fetched from the search.
async function fillGap(gap, runId) {
  const limit = Math.min(500, gap.to - gap.from + 1);
  try {
    const reply = await fetch(`api/pages?before_id=${gap.to + 1}&limit=${limit}`);
    if (!reply.ok) return;
    const body = await reply.json();
    for (const page of body.pages.reverse()) {
      if (page.id >= gap.from) showPage(page, runId);
    }
  } catch (e) { /* the next status poll shows the server's state */ }
}

function connect() {
  clearTimeout(state.retryTimer);
  if (state.source) state.source.close();
  const resume = state.lastEventId ? `last_event_id=${encodeURIComponent(state.lastEventId)}`
                                   : `backlog=${kBacklog}`;
  const source = new EventSource(`api/live?${resume}`);
  state.source = source;
  source.onopen = () => {
    state.retryDelay = 1000;
    setConnection('live', 'live');
  };
  source.addEventListener('page', (event) => {
    state.lastEventId = event.lastEventId;
    try {
      showPage(JSON.parse(event.data), runOf(event.lastEventId));
    } catch (e) { /* a malformed event is skipped */ }
  });
  source.addEventListener('gap', (event) => {
    try {
      fillGap(JSON.parse(event.data), runOf(state.lastEventId));
    } catch (e) { /* ignored */ }
  });
  source.onerror = () => {
    // The browser retries by itself while the stream can resume; when it has given up (the
    // server refused or went away), start again with the last id seen.
    if (source.readyState === EventSource.CLOSED) {
      setConnection('down', 'reconnecting');
      state.retryTimer = setTimeout(connect, state.retryDelay);
      state.retryDelay = Math.min(state.retryDelay * 2, 30000);
    } else {
      setConnection('connecting', 'reconnecting');
    }
  };
}

function applyStatus(status) {
  const root = document.documentElement.style;
  for (const [name, value] of Object.entries(status.colours || {})) {
    if (kColourVars[name] && /^#[0-9a-f]{6}$/i.test(value)) root.setProperty(kColourVars[name], value);
  }
  const labels = $('labels');
  labels.replaceChildren(...(status.filter_labels || []).map((l) => {
    const option = document.createElement('option');
    option.value = l;
    return option;
  }));
  const decoders = Object.entries(status.decoders || {})
    .filter(([, d]) => d.enabled).map(([name]) => name).join(' ');
  $('summary').textContent = `${status.pages} pages, ${status.pages_per_hour} in the last hour`;
  const input = (status.inputs || [])[0];
  const keep = status.keep_alive || {};
  const keepText = keep.alarm ? 'keep-alive ALARM' :
    keep.supervised ? `keep-alive ${keep.timeout_minutes} min` : 'keep-alive off';
  const parts = [
    input ? `${input.kind}: ${input.name}` : '',
    decoders ? `decoding ${decoders}` : 'no decoder on',
    keepText,
    `up ${Math.floor(status.uptime / 60)} min`,
    `${status.program} ${status.version}`,
  ];
  $('status').textContent = parts.filter(Boolean).join(' · ');
}

async function pollStatus() {
  clearTimeout(state.statusTimer);
  try {
    const reply = await fetch('api/status');
    if (reply.ok) applyStatus(await reply.json());
  } catch (e) { /* shown by the connection badge */ }
  state.statusTimer = setTimeout(pollStatus, 10000);
}

// After a page, the counts are fetched again (once for a burst of pages).
let statusSoon = null;
function soonStatus() {
  if (statusSoon) return;
  statusSoon = setTimeout(() => { statusSoon = null; pollStatus(); }, 1000);
}

let searchNext = null;
let searchParams = null;

async function runSearch(more) {
  if (!more) {
    searchParams = new URLSearchParams();
    const q = $('q').value.trim();
    const capcode = $('search-capcode').value.trim();
    const protocol = $('search-protocol').value;
    if (q) searchParams.set('q', q);
    if (capcode) searchParams.set('capcode', capcode);
    if (protocol) searchParams.set('protocol', protocol);
    searchParams.set('limit', '50');
    $('results').replaceChildren();
  } else if (searchNext !== null) {
    searchParams.set('before_id', searchNext);
  }
  $('results-section').hidden = false;
  $('results-note').textContent = 'Searching...';
  try {
    const reply = await fetch(`api/pages?${searchParams}`);
    const body = await reply.json();
    if (!reply.ok) {
      $('results-note').textContent = body.error || `Search failed (${reply.status})`;
      return;
    }
    for (const page of body.pages) $('results').append(pageRow(page));
    searchNext = body.next_before_id;
    $('results-more').hidden = searchNext === null;
    const count = $('results').children.length;
    $('results-note').textContent =
      count === 0 ? 'No page found' : count === 1 ? '1 page' : `${count} pages`;
  } catch (e) {
    $('results-note').textContent = 'The server cannot be reached';
  }
}

function start() {
  $('filter-capcode').value = localStorage.getItem('pagora.filterCapcode') || '';
  $('filter-label').value = localStorage.getItem('pagora.filterLabel') || '';
  for (const id of ['filter-capcode', 'filter-label']) {
    $(id).addEventListener('input', redrawTopPane);
    $(id).addEventListener('change', redrawTopPane);
  }
  $('search').addEventListener('submit', (event) => {
    event.preventDefault();
    runSearch(false);
  });
  $('results-more').addEventListener('click', () => runSearch(true));
  $('results-close').addEventListener('click', () => { $('results-section').hidden = true; });
  $('all').append(el('li', 'empty', 'Waiting for pages'));
  redrawTopPane();
  pollStatus();
  connect();
}

document.addEventListener('DOMContentLoaded', start);
