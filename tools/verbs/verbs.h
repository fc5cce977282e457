// The verbs of the kelvane command line; each takes the arguments after its name and returns
// the process exit status (0 success, 1 failure, 2 usage error).
#pragma once

#include <span>

int script_verb(std::span<char*> args);
int record_verb(std::span<char*> args);
int play_verb(std::span<char*> args);
int info_verb(std::span<char*> args);
int repair_verb(std::span<char*> args);
int formats_verb(std::span<char*> args);
int devices_verb(std::span<char*> args);
int convert_verb(std::span<char*> args);
