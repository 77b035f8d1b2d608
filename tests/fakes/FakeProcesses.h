// A recording stand-in for starting programs: every start is kept with its program, argument
// text, folder and quoting wish; a start can be made to fail with a given system error.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace fakes {

class FakeProcesses final : public platform::Processes {
  public:
    struct Started {
        std::u16string program;
        std::u16string arguments;
        std::u16string folder;
        bool quoteProgram = false;
    };

    bool start(const std::u16string& program, const std::u16string& arguments,
               const std::u16string& folder, bool quoteProgram, int& error) override {
        started.push_back({program, arguments, folder, quoteProgram});
        if (failWith) {
            error = *failWith;
            return false;
        }
        return true;
    }

    std::vector<Started> started;
    std::optional<int> failWith;
};

}  // namespace fakes
