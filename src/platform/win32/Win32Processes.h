#pragma once
// The process list from a toolhelp snapshot; executable names in code page 936.
#include "platform/Processes.h"

class Win32Processes : public Processes {
public:
    std::unique_ptr<ProcessSnapshot> TakeSnapshot() override;
    bool RunsElevated() override;
    std::string UserSid() override;
};
