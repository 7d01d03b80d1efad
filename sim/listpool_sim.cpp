// listpool-sim: runs listpool in virtual time on a session and prints every
// write, stamped with its virtual time and thread.
//
//   listpool-sim [--random SEED | --pct SEED] [SESSION]
//
// SESSION is a file (standard input when none is given): the lines a user
// types; a line "@<ms> text" is typed only at that virtual time.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "sim/session.h"
#include "sim/simulated_program.h"

namespace {

int Usage() {
    std::cerr << "usage: listpool-sim [--random SEED | --pct SEED] [SESSION]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace listpool::sim;
    Options options;
    const char* file = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--random" || arg == "--pct") && i + 1 < argc) {
            options.strategy = arg == "--random" ? Strategy::kRandom : Strategy::kPct;
            char* end = nullptr;
            options.seed = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0') {
                return Usage();
            }
        } else if (!arg.starts_with("--") && file == nullptr) {
            file = argv[i];
        } else {
            return Usage();
        }
    }
    std::stringstream text;
    if (file != nullptr) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << "listpool-sim: cannot read " << file << "\n";
            return 2;
        }
        text << in.rdbuf();
    } else {
        text << std::cin.rdbuf();
    }
    const Session session = SimulateListpool(options, text.str());
    std::cout << Transcript(session.outcome);
    if (!session.violation.empty()) {
        std::cout << "VIOLATION " << session.violation;
    }
    if (!session.ok()) {
        std::cout << "replay: " << ReplayCommand(options, text.str()) << "\n";
        return 1;
    }
    return 0;
}
