#include "tools/FixtureCheck.hpp"

#include <iostream>

int main(int argc, char** argv) { return velmar::FixtureCheck::run(argc, argv, std::cout, std::cerr); }
