#include "targets/entry_terminals.h"

namespace vcq::targets {

int ParseCustomPort(const std::string& text) {
    if (text.empty())
        return 0;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
        if (value > kHighestCustomPort)  // stop before a long text overflows
            return 0;
    }
    return value >= kLowestCustomPort ? static_cast<int>(value) : 0;
}

EntryCheck CheckEntry(const TypedEntry& typed, EntryAddress* address) {
    if (typed.addressBlank)
        return EntryCheck::BadAddress;
    for (int field : typed.ip) {
        if (field < 0 || field > 255)
            return EntryCheck::BadAddress;
    }
    int port = kDefaultPort;
    if (typed.customPort) {
        port = ParseCustomPort(typed.portText);
        if (port == 0)
            return EntryCheck::BadPort;
    }
    for (size_t i = 0; i < typed.ip.size(); ++i)
        address->ip[i] = static_cast<uint8_t>(typed.ip[i]);
    address->port = port;
    return EntryCheck::Passed;
}

EntryTerminals::EntryTerminals(EntryOwner& owner, int total, int position)
    : owner_(owner), total_(total), position_(position) {}

EntryButtons EntryTerminals::Buttons() const {
    const bool stored = owner_.IsQueued(position_);
    EntryButtons buttons;
    buttons.remove = stored;
    buttons.next = !(stored && position_ + 1 == total_);
    buttons.previous = position_ != 0;
    buttons.add = owner_.RowCount() != total_;
    return buttons;
}

ShownEntry EntryTerminals::Shown() const {
    ShownEntry shown;
    shown.address = owner_.CurrentAddress();
    shown.customPort = shown.address.port != kDefaultPort;
    shown.customPortValue = shown.customPort ? shown.address.port : kLowestCustomPort;
    shown.counter = std::to_string(position_ + 1) + "/" + std::to_string(total_);
    return shown;
}

EntryStep EntryTerminals::Store(const TypedEntry& typed) {
    EntryAddress address;
    switch (CheckEntry(typed, &address)) {
        case EntryCheck::BadAddress:
            return EntryStep::RefusedAddress;
        case EntryCheck::BadPort:
            return EntryStep::RefusedPort;
        case EntryCheck::Passed:
            break;
    }
    owner_.CommitEntry(address);
    return EntryStep::Done;
}

EntryStep EntryTerminals::Next(const TypedEntry& typed) {
    EntryStep step = Store(typed);
    if (step != EntryStep::Done)
        return step;
    if (position_ + 1 >= total_)
        return EntryStep::AtLastEntry;
    ++position_;
    owner_.NextEntry();
    return EntryStep::Done;
}

EntryStep EntryTerminals::Previous(const TypedEntry& typed) {
    EntryStep step = Store(typed);
    if (step == EntryStep::Done && position_ > 0) {
        --position_;
        owner_.PreviousEntry();
    }
    return step;
}

EntryStep EntryTerminals::Add(const TypedEntry& typed) {
    EntryStep step = Store(typed);
    if (step == EntryStep::Done)
        position_ = owner_.AddEntry();
    return step;
}

EntryStep EntryTerminals::Ok(const TypedEntry& typed) {
    return Store(typed);
}

void EntryTerminals::Delete() {
    owner_.DeleteEntry();
    if (position_ == owner_.RowCount() && position_ > 0)
        --position_;
}

}  // namespace vcq::targets
