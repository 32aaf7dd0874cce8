// IQ recordings from pagora-gen: the rendered band written as raw cu8 (what rtl_sdr writes),
// cs16 or cf32, with a SigMF metadata file beside it on request.
#pragma once

#include <string>
#include <vector>

#include "iq_render.h"

namespace pagora::gen {

// "cu8", "cs16" or "cf32"; from the name's extension when `format` is empty (.cu8, .cs16,
// .cf32; .sigmf-data is cf32). Empty when neither says.
std::string IqFormatFor(const std::string& path, const std::string& format);

// Renders `channels` into `path` ("-" = standard output). `sigmfCentreHz` > 0 also writes
// <stem>.sigmf-meta with the rate, centre and datatype. False with `error` on failure.
bool WriteIqFile(const std::string& path, const std::string& format,
                 const std::vector<IqChannel>& channels, const IqRenderOptions& options, bool sigmf,
                 double centreHz, std::string& error);

}  // namespace pagora::gen
