#pragma once

#include <cstdint>

// The program's own copy of the system message texts it may have to show, in the form
// the system keeps them: each text ends in "\r\n". Returns nullptr for a code without
// a text of its own.
const char* messageTextFor(std::int32_t code);
