#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace morvel {

struct FibTable;

// What became of a document's list tables.
enum class ListTablesState {
    Absent,   // the document names no list tables
    Kept,     // the definitions and overrides parsed and are kept
    Dropped,  // a list table did not parse: the lists are left out, the text is not touched
};

struct ListTablesRead {
    ListTablesState state = ListTablesState::Absent;
    bool namesDropped = false;  // the list names did not parse and were left out
    std::string why;            // what was wrong, when something was left out
};

// Reads the list definitions (with the levels that follow them in the table stream, which the
// FIB's length does not count), the list overrides and the list names into `tables`, by FIB fc
// offset. The definitions keep their own length as lcb; their bytes hold the levels too. Every
// field is checked against the stream: lists that do not parse are left out whole (overrides
// without their definitions would send paragraphs to lists that are not there), names that
// do not parse are left out alone.
ListTablesRead readListTables(std::span<const uint8_t> fibBytes, std::span<const uint8_t> table,
                              std::map<uint32_t, FibTable>& tables);

}  // namespace morvel
