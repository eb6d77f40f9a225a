// digiKam's library: its physical albums become albums, in path order, then its tags. Only
// SQLite libraries can be read; digiKam's MySQL setups get a message saying so.
#pragma once

#include "LibrarySnapshot.hxx"

namespace tessaly::bridge {

class DigikamSource : public LibrarySource {
public:
    // Core schema versions this reader knows (digiKam 2 to 8).
    static constexpr int kOldestSchema = 10;
    static constexpr int kNewestSchema = 16;

    // `configFile` is digiKam's digikamrc, which names the database.
    explicit DigikamSource(std::string configFile);

    // $XDG_CONFIG_HOME/digikamrc, with the usual default for XDG_CONFIG_HOME.
    static std::string defaultConfig(const std::string& home);

    SnapshotResult read() override;
    std::string stamp() const override;
    std::string location() const override;

private:
    // The database file the settings name, or why there is none.
    struct Database {
        std::string path;
        std::string error;
    };
    Database findDatabase() const;

    std::string config_;
};

} // namespace tessaly::bridge
