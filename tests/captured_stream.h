// An OutStream whose output the test can read back.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/stream.h"

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

    // What has reached the file so far.
    std::string Written() const {
        std::string text;
        char block[4096];
        off_t offset = 0;
        for (ssize_t got; (got = pread(fileno(file_), block, sizeof block, offset)) > 0;) {
            text.append(block, static_cast<std::size_t>(got));
            offset += got;
        }
        return text;
    }

  private:
    std::FILE* file_;
    OutStream stream_;
};

}  // namespace listpool
