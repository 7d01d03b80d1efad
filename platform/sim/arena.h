// The memory of simulated runs: one region, reserved once, that a run's
// allocations come from while it asks for them, so that the run can give it
// all back at once when it ends (the program it runs never frees what it
// builds), and so that a copy of the region is a copy of the run.
//
// Which allocator serves the calling thread's `new` is its target: the
// system's (the default) or the region. Two ways to use the region:
// - kBump: blocks are never reused until Reset, and freeing one does
//   nothing. Safe even when an object outside the run still points into the
//   region after Reset, as long as it is only freed, never read.
// - kReuse: freed blocks go to lists by size and are reused, so that the
//   region stays as small as what the run holds; everything about the
//   region lies inside it, so copying its used part copies its state.
//
// The region is used only where the build replaces operator new with
// Allocate and Free (platform/sim/arena_new.cpp: not in the sanitizer
// builds, whose own allocators watch every block); elsewhere Installed() is
// false and everything comes from the system.
#pragma once

#include <cstddef>

namespace listpool::sim::arena {

enum class Target { kSystem, kRegion };
enum class Mode { kBump, kReuse };

// Whether operator new comes here: MarkInstalled is called, once, by
// arena_new.cpp's replacement of it where that is linked.
bool Installed();
bool MarkInstalled();

// What the calling thread's allocations use, for the life of a Use.
class Use {
  public:
    explicit Use(Target target);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

  private:
    Target before_;
};
Target Current();

// Empties the region and sets how it serves blocks from now on. Nothing
// made in it may be read afterwards.
void Reset(Mode mode);

// The region's used part, from its start: a copy of these bytes, put back,
// restores every block and the allocator's own lists.
char* Start();
std::size_t Used();
bool Owns(const void* pointer);

// For operator new and delete.
void* Allocate(std::size_t size);
void Free(void* pointer);

}  // namespace listpool::sim::arena
