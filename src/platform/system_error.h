#pragma once
#include <string>

namespace tamlorex {

// The system's text for an errno value (thread-safe).
std::string ErrorText(int error);

}  // namespace tamlorex
