#include "tools/FixtureScrub.hpp"

#include <iostream>

int main(int argc, char** argv) { return velmar::FixtureScrub::run(argc, argv, std::cout, std::cerr); }
