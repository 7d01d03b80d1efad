// listpool-levels: the lab's levels (sim/explore/levels.h).
//
//   listpool-levels                    the levels' list, as JSON, each with its par
//   listpool-levels --explore NAME PAGE   a level's page
//   listpool-levels --hints NAME          every state's distance to its goal, as JSON
//
// Exits 2 on a wrong argument or an unknown level.
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>

#include "sim/explore/levels.h"

int main(int argc, char** argv) {
    try {
        if (argc == 1) {
            std::cout << listpool::sim::LevelsJson() << "\n";
            return 0;
        }
        const bool explore = argc == 4 && std::strcmp(argv[1], "--explore") == 0;
        const bool hints = argc == 3 && std::strcmp(argv[1], "--hints") == 0;
        const listpool::sim::Level* level =
            explore || hints ? listpool::sim::FindLevel(argv[2]) : nullptr;
        if (level == nullptr) {
            std::cerr << "usage: listpool-levels [--explore NAME PAGE | --hints NAME]"
                      << (explore || hints ? " (no such level)" : "") << "\n";
            return 2;
        }
        if (hints) {
            std::cout << listpool::sim::LevelDistances(*level) << "\n";
            return 0;
        }
        std::ofstream out(argv[3], std::ios::binary);
        out << listpool::sim::LevelPage(*level);
        return out ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "listpool-levels: " << error.what() << "\n";
        return 1;
    }
}
