// An owner list for the entry terminals dialog that keeps its entries in
// memory, with the add-other-cameras dialog's rules for blank rows, the
// selection and the capacity, but without verification.
#pragma once

#include <algorithm>
#include <vector>

#include "targets/entry_terminals.h"

namespace vcq::test {

class EntryListFake : public targets::EntryOwner {
  public:
    struct Row {
        targets::EntryAddress address;
        bool queued = false;
    };

    explicit EntryListFake(int capacity) : capacity_(capacity) {}

    // A blank row at the end, selected, as the Add button leaves it.
    int AppendBlank() {
        rows.push_back({last, false});
        selected = static_cast<int>(rows.size()) - 1;
        return selected;
    }
    void Queue(const targets::EntryAddress& address) {
        AppendBlank();
        CommitEntry(address);
    }

    targets::EntryAddress CurrentAddress() const override {
        return selected >= 0 && selected < RowCount() ? rows[selected].address : last;
    }
    void CommitEntry(const targets::EntryAddress& address) override {
        ++commits;
        rows.at(selected) = {address, true};
        last = address;
    }
    void NextEntry() override {
        if (selected + 1 == RowCount())
            AppendBlank();
        else
            ++selected;
    }
    void PreviousEntry() override {
        if (selected > 0)
            --selected;
    }
    int AddEntry() override {
        if (RowCount() < capacity_)
            rows.push_back({last, false});
        selected = RowCount() - 1;
        return selected;
    }
    void DeleteEntry() override {
        rows.erase(rows.begin() + selected);
        if (rows.empty() && capacity_ > 0)
            rows.push_back({last, false});
        selected = std::min(selected, RowCount() - 1);
    }
    bool IsQueued(int row) const override {
        return row >= 0 && row < RowCount() && rows[row].queued;
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }

    std::vector<Row> rows;
    int selected = -1;
    int commits = 0;
    targets::EntryAddress last{{192, 168, 0, 100}, 80};

  private:
    int capacity_;
};

}  // namespace vcq::test
