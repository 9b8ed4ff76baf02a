#pragma once

// The scenario author's tool: checks a scenario file and renders what a capture of one of its
// displays would show.
#include <iosfwd>
#include <string>
#include <vector>

namespace dorvex::scenario {

// Exit statuses: 0 done (a clean scenario), 1 the scenario has problems or the display is not
// there, 2 the command line or a file could not be used.
int runCheck(const std::string& file, std::ostream& out, std::ostream& err);
int runRender(const std::string& file, const std::string& display, const std::string& png,
              std::ostream& out, std::ostream& err);
int runTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace dorvex::scenario
