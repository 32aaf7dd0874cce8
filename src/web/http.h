// cpp-httplib, as Debian builds it (a shared library; its limits on request lines and headers
// are the library's, 8 KiB each). This program's own, tighter limits are checked before any
// handler runs (web_server.cpp). Every file that uses the library includes it through here.
#pragma once

#include <httplib.h>
