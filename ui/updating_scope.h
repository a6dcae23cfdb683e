// The updating guard held for a scope: set while a command sets several controls, put back
// as it was afterwards, also when an error ends the command.
#pragma once

namespace orvik {

class UpdatingScope {
public:
    explicit UpdatingScope(int& updating) : updating_(updating), previous_(updating) {
        updating_ = 1;
    }
    ~UpdatingScope() { updating_ = previous_; }
    UpdatingScope(const UpdatingScope&) = delete;
    UpdatingScope& operator=(const UpdatingScope&) = delete;

private:
    int& updating_;
    int previous_;
};

} // namespace orvik
