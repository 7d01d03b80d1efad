// A WebAssembly program's exit status. Its first fiber switch unwinds main
// out to JavaScript, which takes what that unwound call returned as the
// status; main itself finishes later, rewound, and its result would be
// lost. So the program's own main is built under the name program_main
// (-Dmain=program_main on its source, in CMake) and this one exits with
// its status.
#include <cstdlib>

int program_main(int argc, char** argv);

int main(int argc, char** argv) {
    std::exit(program_main(argc, argv));
}
