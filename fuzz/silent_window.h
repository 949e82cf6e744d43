// A window for the fuzzers: every box answered OK, nothing else kept.
#pragma once

#include "platform/window_port.h"

namespace vcq::fuzz {

class SilentWindow : public WindowPort {
  public:
    MessageAnswer MessageBox(const std::string&, const std::string&, MessageIcon,
                             MessageButtons) override {
        return MessageAnswer::Ok;
    }
    void SetTimer(uint32_t, uint32_t) override {}
    void KillTimer(uint32_t) override {}
    void PostMessage(uint32_t, uintptr_t, intptr_t) override {}
};

}  // namespace vcq::fuzz
