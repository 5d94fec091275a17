// What differs between the Linux and the Windows build of the inspector: the command line, files
// opened and written by name, the standard streams. PlatformPosix.cpp and PlatformWindows.cpp
// implement it; the rest of the inspector is the same code on both.
#pragma once
#include <string>
#include <vector>

// The program's arguments after its name. On Windows they are taken from the wide command
// line and converted to UTF-8, so that names outside the ANSI code page survive; elsewhere they
// are the bytes of `argv`.
std::vector<std::string> CommandArguments(int argc, char** argv);

// Keeps DLLs loaded by name to the system directory, as VeskInfo does at start-up (Windows).
void RestrictLibrarySearch();

// Standard input and output carry bytes as they are (no line-end translation on Windows).
void UseBinaryStreams();

bool StandardErrorIsTerminal();

// Opens `path` (UTF-8 on Windows) for reading: a descriptor for read(), or -1 with errno set.
int OpenForReading(const std::string& path);

// An open file descriptor, closed when it goes (a negative one is none).
struct Descriptor {
    int fd;
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// Writes `bytes` to the file `path`, replacing it. False with a one-line `error` when it cannot.
bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes,
                    std::string& error);

// This computer's name (UTF-8), as the probe names the machine; empty where it is unknown.
std::string ComputerName();

// The path of the file `name` in the folder this program's executable is in (UTF-8 on
// Windows); empty where that folder cannot be told.
std::string PathBesideProgram(const std::string& name);

// How a program that RunProgram started ended.
enum class RunOutcome { Exited, NotStarted, TimedOut };

// Starts the program at `path` (UTF-8 on Windows) without arguments and without handing it the
// standard streams, inside a job object that ends it and every process it starts when the
// inspector ends, and waits for it at most `seconds`: Exited with its exit code; TimedOut when
// it was still running then (it and what it started are ended); NotStarted with a one-line
// `error` (for a missing program: "not found").
RunOutcome RunProgram(const std::string& path, unsigned seconds, int& exitCode, std::string& error);
