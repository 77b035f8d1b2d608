// Drivers of the MySQL client for fuzzing: the given bytes stand in for everything the server
// sends. Shared by the libFuzzer targets, their replay of the kept inputs (tests/fuzz/corpus) and
// the unit test over the captured packets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mysqlfuzz {

// Each driver answers how many result rows it walked (for the replay tests).

// A whole session: connect, queries with stored and used results walked and freed,
// list_processes, change_user, ping, stat, CALLs with every result walked or left, close. Run
// a second time with packets of 64 bytes counting as full, so that the joining of long
// payloads is reached; the answer is the first run's.
int session(const std::uint8_t* data, std::size_t size);
// The greeting alone: the bytes are the first packet's payload; an OK answers the login.
int greeting(const std::uint8_t* data, std::size_t size);
// A query's replies after a real MariaDB login: OK, error or a result header with its columns
// and rows, read stored and used.
int reply(const std::uint8_t* data, std::size_t size);
// The compressed-frame reader of the packet layer.
int frames(const std::uint8_t* data, std::size_t size);

}  // namespace mysqlfuzz
