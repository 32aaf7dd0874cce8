// Starting the filter and keep-alive commands. The program is started directly with each
// argument as one argv entry (never through a shell, so page text received off the air cannot
// run anything), detached into its own session so that it outlives nothing of ours and leaves
// no zombie behind. A file that exists but is not executable (a document, a sound, a web link
// file) is handed to the desktop's opener, xdg-open, with the arguments after it.
#pragma once

#include <string>
#include <vector>

namespace pagora {

// program: a path, or a bare name looked up on PATH and then in the working directory.
// Returns true when the program (or xdg-open) was executed; false when nothing could be
// started. The started process gets /dev/null as standard input and output (it must not eat
// the decoder's input or mix into its printed pages) and keeps standard error.
bool StartDetachedProcess(const std::string& program, const std::vector<std::string>& args);

}  // namespace pagora
