// The compiled-in message table of error codes and texts.
#pragma once

#include <span>

namespace sk::rt {

struct MessageEntry {
    int id;
    const char* text;
};

// The whole table, ordered by id.
std::span<const MessageEntry> message_table();

// The table's text for id, or null when the table has none (overrides not consulted).
const char* table_message(int id);

}  // namespace sk::rt
