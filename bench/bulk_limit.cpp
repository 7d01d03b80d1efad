// The floor for a bulk insert: writes to standard output exactly what the
// console writes for "i 1 2 ... N -1 q", one write(2) per line as a stream
// flushed at every end of line must, and does nothing else: no input, no
// list, no pause.
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

void Write(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = write(1, text.data(), text.size());
        if (written <= 0) {
            std::exit(1);
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

int main(int argc, char** argv) {
    long count = 0;
    if (argc != 2 ||
        std::from_chars(argv[1], argv[1] + std::strlen(argv[1]), count).ec != std::errc{}) {
        Write("usage: bulk_limit COUNT\n");
        return 2;
    }
    constexpr std::string_view kPrompt = "\nYour Command [i d p f F g s]? ";
    constexpr std::string_view kHead = "**** WARNING ****: Out of memory: List insertion of ";
    constexpr std::string_view kTail = " failed!!\n";
    Write(kPrompt);
    Write("Please enter integers to be inserted (-1 to stop)\n");
    // The first five keys fill the pool; each one after them is refused.
    char line[128];
    std::memcpy(line, kHead.data(), kHead.size());
    for (long key = 6; key <= count; ++key) {
        char* end = std::to_chars(line + kHead.size(), line + 64, key).ptr;
        std::memcpy(end, kTail.data(), kTail.size());
        end += kTail.size();
        Write(std::string_view(line, static_cast<std::size_t>(end - line)));
    }
    Write(kPrompt);
    return 0;
}
