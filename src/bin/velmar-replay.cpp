#include "tools/Replay.hpp"

#include <iostream>

int main(int argc, char** argv) { return velmar::Replay::run(argc, argv, std::cout, std::cerr); }
