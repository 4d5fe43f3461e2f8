#include <iostream>

#include "tools/ksf/ksf_commands.h"

int main(int argc, char** argv) { return sk::ksftool::run_ksf(argc, argv, std::cout, std::cerr); }
