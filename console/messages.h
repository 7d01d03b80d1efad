// What the console writes, written once: the console writes these, and the
// simulator's timeline reads its output back by them to label the command
// each prompt's answer came from, so that a change of a message cannot
// leave the labels behind.
#pragma once

#include <string_view>

namespace listpool::messages {

// Before every command word.
inline constexpr std::string_view kPrompt = "\nYour Command [i d p f F g s]? ";

// The first thing each command writes, a line of its own where Line() ends
// it (the console's code says which), and what some write after it.
inline constexpr std::string_view kInsert = "Please enter integers to be inserted (-1 to stop)";
inline constexpr std::string_view kDelete = "Please enter the key to delete: ";
inline constexpr std::string_view kGoingToDelete = "going to delete: ";
inline constexpr std::string_view kDeleted = "Deleted Key(";
inline constexpr std::string_view kDeletedEnd = ")";
inline constexpr std::string_view kNotInList = "Input: [";
inline constexpr std::string_view kNotInListEnd = "] is not in the list!";
inline constexpr std::string_view kDump = "Here is the Record Pool:";
inline constexpr std::string_view kPrint = "Requesting for print:";
inline constexpr std::string_view kFind = "Please enter the key to find: ";
inline constexpr std::string_view kGoingToFind = "Going to find: ";
inline constexpr std::string_view kCollect = "Forcing a garbage collection!\n";
// Written in two pieces.
inline constexpr std::string_view kSort = "I did not implement list-based mergeSort\n";
inline constexpr std::string_view kSortEnd = "BUT ... you should!\n";

}  // namespace listpool::messages
