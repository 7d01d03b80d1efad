#include "console/console.h"

#include "console/messages.h"
#include "platform/thread.h"

namespace listpool {
namespace {

constexpr std::uint32_t kPauseMs = 200;

}  // namespace

Console::Console(InputScanner& in, OutStream& out, TmyList& list, Workers workers)
    : in_(in), out_(out), list_(list), workers_(workers) {}

void Console::Run() {
    for (;;) {
        out_ << messages::kPrompt;
        char command = 'q';
        // The end of input quits, as q does.
        in_.ReadWord(command);
        switch (command) {
            case 'i':
                Insert();
                break;
            case 'd':
                Delete();
                break;
            case 'f':
                DumpPool();
                break;
            case 's':
                out_ << messages::kSort << messages::kSortEnd;
                break;
            case 'p':
                out_ << (Line() << messages::kPrint);
                workers_.print.Start();
                break;
            case 'F':
                Find();
                break;
            case 'g':
                out_ << messages::kCollect;
                workers_.garbage.Start();
                break;
            default:
                break;
        }
        SleepMs(kPauseMs);
        // Once input has failed no command can be read, so none may be
        // repeated with a stale word or number: quit instead.
        if (command == 'q' || in_.failed()) {
            return;
        }
    }
}

void Console::TakeForExit() {
    list_.pool->guard.BeginWrite();
    list_.guard.BeginWrite();
}

void Console::Insert() {
    out_ << (Line() << messages::kInsert);
    ReadResult read = in_.ReadInt(number_);
    if (read == ReadResult::kFailed) {
        return;
    }
    list_.pool->guard.BeginWrite();
    list_.guard.BeginWrite();
    while (number_ >= 0) {
        list_.Insert(number_, out_);
        // The 0 stored by a read that found no digit is inserted once; the
        // reads after it all fail.
        if (read != ReadResult::kRead) {
            break;
        }
        read = in_.ReadInt(number_);
        if (read == ReadResult::kFailed) {
            break;
        }
    }
    list_.guard.EndWrite();
    list_.pool->guard.EndWrite();
}

void Console::Delete() {
    out_ << messages::kDelete;
    if (in_.ReadInt(number_) == ReadResult::kFailed) {
        return;
    }
    const std::int32_t key = number_;
    out_ << (Line() << messages::kGoingToDelete << key);
    list_.pool->guard.BeginWrite();
    list_.guard.BeginWrite();
    if (list_.Delete(key)) {
        out_ << (Line() << messages::kDeleted << key << messages::kDeletedEnd);
    } else {
        out_ << (Line() << messages::kNotInList << key << messages::kNotInListEnd);
    }
    list_.guard.EndWrite();
    list_.pool->guard.EndWrite();
}

void Console::DumpPool() {
    out_ << (Line() << messages::kDump);
    list_.pool->guard.BeginRead();
    list_.pool->Dump(out_);
    list_.pool->guard.EndRead();
}

void Console::Find() {
    out_ << messages::kFind;
    if (in_.ReadInt(number_) == ReadResult::kFailed) {
        return;
    }
    out_ << (Line() << messages::kGoingToFind << number_);
    workers_.find.key = number_;
    workers_.find.Start();
}

}  // namespace listpool
