#pragma once
// Messages the user must see, with fixed texts. The GUI shows a message box; the CLI prints them.
#include <string>

namespace tamlorex {

class Alerts {
public:
    virtual ~Alerts() = default;
    virtual void Alert(const std::string& text) = 0;
};

}  // namespace tamlorex
