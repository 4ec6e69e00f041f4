// The sample world made from the first-start folder picker: the generator run on
// a worker thread into the user's data folder, its progress read by the window.
#pragma once

#include <mutex>
#include <string>
#include <thread>

// Where the folder picker's "Make a sample world..." writes: the user's generic
// data folder (on Linux ${XDG_DATA_HOME:-~/.local/share}) + "veltharn/embervale",
// the folder scripts/run.sh uses too. Empty when the system names no data folder.
std::string SampleWorldFolder();

// One run of the sample world generator (seed 1, the default identity, the world
// a server started with `vxworldgen DIR --seed 1` runs) on a thread of its own.
// The generator's files are rewritten with the same bytes each time; nothing else
// in the folder is touched. Created and read on one thread; the worker meets it
// only under the lock.
class SampleWorldJob {
public:
    struct Progress {
        int Step = 0;          // steps reported so far, 0 to kGenerateSteps
        std::string Line;      // the last step's text
        bool Finished = false;
        std::string Error;     // set when the generator failed
    };

    explicit SampleWorldJob(std::string folder);
    ~SampleWorldJob();  // waits for the worker: a world is never left half-written by us
    SampleWorldJob(const SampleWorldJob&) = delete;
    SampleWorldJob& operator=(const SampleWorldJob&) = delete;

    const std::string& Folder() const { return folder_; }
    Progress Poll() const;

private:
    void Run();

    const std::string folder_;
    mutable std::mutex lock_;
    Progress progress_;
    std::thread worker_;  // last: starts once everything above exists
};
