// Putting the registry back as it was before the last register or unregister run.
#pragma once

#include <string>

#include "results/ResultList.h"
#include "undo/UndoRecord.h"

namespace velquist {

struct UndoSummary {
    unsigned restored = 0;
    unsigned failed = 0;
    bool accessDenied = false;  // some write was refused for want of rights
};

// Puts back each component of the record, the last one first, and writes a line for each in the
// run's order ("Restored : PATH", or "Failed : PATH" with the reason), then "Undo completed". A key or
// value something else changed since the run is left as it is, and named. The record is emptied when
// everything went back; otherwise it is kept for another try (or its file).
UndoSummary UndoRun(undo::RunRecord& record, ResultList& list);

// The undo handed to a restart as administrator: a .reg file of what is still to be put back, in the
// temporary folder under this prefix. A put-back run (/putback:FILE) deletes such a file once read.
inline constexpr char kHandOverPrefix[] = "Velquist undo hand-over ";
// A new name for one; "" when there is no temporary folder.
std::string HandOverPath();

// A run's record kept in a .reg file (/undo:FILE) as the run goes: written whole before each call and
// after it, so that a run stopped or killed midway leaves a file that undoes what it did.
class UndoFile final : public undo::RunRecord {
public:
    explicit UndoFile(std::string path) : path_(std::move(path)) {}
    // Writes the record while it is still empty: false, with the reason, when the file cannot be
    // written (nothing is to be called then).
    bool Start(std::string& why);
    std::string WayBack() const override;

protected:
    bool Grew(std::string& why) override;

private:
    std::string path_;
};

}  // namespace velquist
