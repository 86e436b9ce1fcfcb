#include "platform/system_error.h"

#include <string.h>

namespace tamlorex {

std::string ErrorText(int error)
{
    char text[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* message = strerror_r(error, text, sizeof text);
    return message ? message : "unknown error";
}

}  // namespace tamlorex
