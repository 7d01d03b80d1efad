// An OutStream whose output the test can read back.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "streams/stream.h"

namespace listpool {

class CapturedStream {
  public:
    CapturedStream()
        : file_(std::tmpfile()), stream_(fileno(file_), OutStream::Buffering::kUntilFlush) {}
    ~CapturedStream() { std::fclose(file_); }

    OutStream& stream() { return stream_; }

    // Everything written so far, including what is still buffered.
    std::string Text() {
        stream_.Flush();
        return Written();
    }

    // What has reached the file so far. Reads from the start and puts the
    // offset back for the stream's next write (not every platform has pread).
    std::string Written() const {
        const int fd = fileno(file_);
        const auto end = lseek(fd, 0, SEEK_CUR);
        lseek(fd, 0, SEEK_SET);
        std::string text;
        char block[4096];
        for (int got; (got = static_cast<int>(read(fd, block, sizeof block))) > 0;) {
            text.append(block, static_cast<std::size_t>(got));
        }
        lseek(fd, end, SEEK_SET);
        return text;
    }

  private:
    std::FILE* file_;
    OutStream stream_;
};

}  // namespace listpool
