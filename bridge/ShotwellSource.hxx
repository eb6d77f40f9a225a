// Shotwell's library: its events become albums, then its tags; pictures and movies that
// Shotwell hides, has put in its trash, cannot find, or that were rated "rejected" are left out.
#pragma once

#include "LibrarySnapshot.hxx"

namespace tessaly::bridge {

class ShotwellSource : public LibrarySource {
public:
    // The schema versions this reader knows: Shotwell 0.30 to 0.32.
    static constexpr int kOldestSchema = 20;
    static constexpr int kNewestSchema = 24;

    explicit ShotwellSource(std::string databasePath);

    // $XDG_DATA_HOME/shotwell/data/photo.db, with the usual default for XDG_DATA_HOME.
    static std::string defaultDatabase(const std::string& home);

    SnapshotResult read() override;
    std::string stamp() const override;
    std::string location() const override { return path_; }

private:
    std::string path_;
};

} // namespace tessaly::bridge
