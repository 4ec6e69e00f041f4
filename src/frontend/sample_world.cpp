// The sample world made from the first-start folder picker.
#include "frontend/sample_world.h"

#include <QDir>
#include <QStandardPaths>
#include <exception>

#include "world_generator.h"

std::string SampleWorldFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    return QDir::toNativeSeparators(data + "/veltharn/embervale").toStdString();
}

SampleWorldJob::SampleWorldJob(std::string folder) : folder_(std::move(folder)), worker_([this] { Run(); }) {}

SampleWorldJob::~SampleWorldJob()
{
    worker_.join();
}

SampleWorldJob::Progress SampleWorldJob::Poll() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return progress_;
}

void SampleWorldJob::Run()
{
    std::string error;
    try {
        worldgen::GenerateWorld(folder_, 1, worldgen::kDefaultIdentity, [this](const std::string& line) {
            std::lock_guard<std::mutex> hold(lock_);
            ++progress_.Step;
            progress_.Line = line;
        });
    } catch (const std::exception& e) {
        error = e.what();
        if (error.empty())
            error = "unknown error";
    } catch (...) {
        error = "unknown error";
    }
    std::lock_guard<std::mutex> hold(lock_);
    progress_.Error = error;
    progress_.Finished = true;
}
