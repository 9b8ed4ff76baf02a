// dorvex-scenario: checks simulated-desktop scenarios and renders their displays.
#include "DorvexScenario/ScenarioTool.h"

#include <iostream>

int main(int argc, char** argv) {
    return dorvex::scenario::runTool(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                     std::cerr);
}
