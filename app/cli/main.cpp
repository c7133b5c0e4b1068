// Process entry. The shell has already split the command line, so argv goes
// to RunTool as given; RunTool ends the process.
#include "app/cli/run_tool.h"

int main(int argc, char** argv) {
    using namespace treepak;
    RunTool(argc, argv);
}
