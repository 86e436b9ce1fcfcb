#pragma once
// The recorder simulator as a program beside a test, on a free port of 127.0.0.1.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "run_command.h"

namespace tamlorex::test {

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Starts `tamlorex-sim serve` in the background with the options (give it --seconds so that it
// ends), its output in `log`; the port it listens on, 0 when it did not start.
inline int StartSimulator(const std::string& log, const std::string& options)
{
    RunCommand(std::string(TAMLOREX_SIM_PATH) + " serve --port 0 " + options + " > " + log + " 2>&1 &");
    for (int i = 0; i < 100; ++i) {
        const std::string text = ReadText(log);
        if (const auto at = text.find("{\"listening\":"); at != std::string::npos) return std::atoi(text.c_str() + at + 13);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

}  // namespace tamlorex::test
