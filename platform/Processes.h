// Starting another program (the product installer, the product's monitor program) without
// waiting for it.
#pragma once

#include <memory>
#include <string>

namespace platform {

class Processes {
  public:
    virtual ~Processes() = default;

    // Starts program with the argument text that follows it on the command line (unchanged; it
    // begins with a blank when not empty), with folder as the current directory, and returns at
    // once. quoteProgram puts the program in double quotes on a Windows command line when it
    // holds a blank, so that a path like C:\Users\Ann Lee\... names one program; without it the
    // text is the command line exactly as given. Where programs take an argument list (Linux),
    // the text is split by the Windows command-line rules (common/WindowsCommandLine.h), so both
    // targets hand the program the same arguments. Returns false with the system error code
    // when the process cannot be created.
    virtual bool start(const std::u16string& program, const std::u16string& arguments,
                       const std::u16string& folder, bool quoteProgram, int& error) = 0;
};

std::unique_ptr<Processes> createNativeProcesses();

}  // namespace platform
