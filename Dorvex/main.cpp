// The driver's entry point: the line protocol on standard input and output.
#include "Dorvex/ProcessMain.h"
#include "Dorvex/RequestLoop.h"
#include "Dorvex/Transport.h"

#include <memory>
#include <unistd.h>

int main(int argc, char** argv) {
    dorvex::runDriverProcess(
        argc, argv, std::make_shared<dorvex::DescriptorTransport>(STDOUT_FILENO),
        [](dorvex::Driver& driver) { dorvex::runRequestLoop(driver, STDIN_FILENO); });
}
