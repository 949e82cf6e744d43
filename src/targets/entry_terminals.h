// The rules of the entry terminals dialog: a record-at-a-time editor over its
// owner's list of cameras (the add-other-cameras dialog). The dialog shows
// what Shown() says, enables what Buttons() says and runs the steps here; the
// owner keeps the entries.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vcq::targets {

inline constexpr int kTextBadAddress = 120;    // "Input the correct IP address of ..."
inline constexpr int kTextBadPort = 310;       // "Input the correct port No. of ..."
inline constexpr int kTextRemoveCamera = 253;  // "Would you like to remove this camera?"

inline constexpr int kDefaultPort = 80;
inline constexpr int kLowestCustomPort = 1024;
inline constexpr int kHighestCustomPort = 65535;

struct EntryAddress {
    std::array<uint8_t, 4> ip{};
    int port = kDefaultPort;
    bool operator==(const EntryAddress&) const = default;
};

// What the dialog needs of its owner's list. Every operation acts on the
// owner's current selection, which the dialog keeps in step with its position.
class EntryOwner {
  public:
    virtual ~EntryOwner() = default;
    virtual EntryAddress CurrentAddress() const = 0;
    // Stores (queues) the current entry.
    virtual void CommitEntry(const EntryAddress& address) = 0;
    // Selects the next entry, adding a blank one when the current is the last.
    virtual void NextEntry() = 0;
    // Selects the previous entry unless the current is the first.
    virtual void PreviousEntry() = 0;
    // Appends a blank entry when there is room, selects the last and returns
    // its position.
    virtual int AddEntry() = 0;
    // Deletes the current entry; an emptied list gets a blank entry when
    // there is room.
    virtual void DeleteEntry() = 0;
    // Whether the entry at `row` holds a stored camera; false beyond the list.
    virtual bool IsQueued(int row) const = 0;
    virtual int RowCount() const = 0;
};

// The values as the operator typed them.
struct TypedEntry {
    bool addressBlank = false;
    // The four fields as typed: a value outside 0 to 255 is a wrong address,
    // never cut to a byte.
    std::array<int, 4> ip{};
    bool customPort = false;
    std::string portText;  // the custom port edit; read only when customPort
};

enum class EntryCheck { Passed, BadAddress, BadPort };

// The address is checked before the port, so a blank address is reported
// even when the port is wrong too. On Passed, `address` holds the values.
EntryCheck CheckEntry(const TypedEntry& typed, EntryAddress* address);

// A custom port: digits only, 1024 to 65535. Returns 0 otherwise.
int ParseCustomPort(const std::string& text);

struct ShownEntry {
    EntryAddress address;
    bool customPort = false;
    int customPortValue = kLowestCustomPort;  // 1024 while the port is 80
    std::string counter;                      // "position + 1/total"
};

struct EntryButtons {
    bool previous = false;
    bool next = false;
    bool add = false;
    bool remove = false;
};

enum class EntryStep {
    Done,            // stored and (for PREV, NEXT, ADD) moved
    RefusedAddress,  // nothing stored: tell the operator, focus the address
    RefusedPort,     // nothing stored: tell the operator, focus the port
    AtLastEntry,     // NEXT stored but there is no further room: beep, flash
};

class EntryTerminals {
  public:
    // `total`: how many entries may exist; `position`: the owner's current
    // entry.
    EntryTerminals(EntryOwner& owner, int total, int position);

    int Position() const { return position_; }
    int Total() const { return total_; }
    EntryButtons Buttons() const;
    ShownEntry Shown() const;

    EntryStep Next(const TypedEntry& typed);
    EntryStep Previous(const TypedEntry& typed);
    EntryStep Add(const TypedEntry& typed);
    // Stores the values; the dialog closes on Done.
    EntryStep Ok(const TypedEntry& typed);
    // After the operator agreed; no check, nothing stored.
    void Delete();

  private:
    EntryStep Store(const TypedEntry& typed);

    EntryOwner& owner_;
    int total_;
    int position_;
};

}  // namespace vcq::targets
