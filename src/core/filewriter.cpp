#include "core/filewriter.h"

#include <QSaveFile>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

class Writer
{
public:
    static Writer &instance()
    {
        static Writer writer;
        return writer;
    }

    void write(const QString &path, FileWriter::Contents contents)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const std::string key = path.toStdString();
        auto pending = waiting.find(key);
        if (pending != waiting.end()) {
            pending->second.contents = std::move(contents);
        } else {
            waiting.emplace(key, Job{path, std::move(contents)});
            order.push_back(key);
        }
        ++asked;
        changed.notify_all();
    }

    void flush()
    {
        std::unique_lock<std::mutex> lock(mutex);
        const quint64 target = asked;
        changed.wait(lock, [&] { return done >= target; });
    }

private:
    struct Job
    {
        QString path;
        FileWriter::Contents contents;
    };

    Writer() : thread([this] { run(); }) {}
    ~Writer()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            changed.notify_all();
        }
        thread.join();
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stopping || !order.empty(); });
            if (order.empty())
                return; // stopping, with everything written
            const std::string key = order.front();
            order.pop_front();
            auto node = waiting.extract(key);
            lock.unlock();
            save(node.mapped());
            node = {};
            lock.lock();
            // A request that came meanwhile is in the order, even for this
            // same file: with the order empty, every request is written.
            if (order.empty())
                done = asked;
            changed.notify_all();
        }
    }

    static void save(const Job &job)
    {
        QSaveFile file(job.path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(job.contents());
        file.commit();
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::unordered_map<std::string, Job> waiting;
    std::deque<std::string> order;
    quint64 asked = 0;
    quint64 done = 0;
    bool stopping = false;
    std::thread thread;
};

} // namespace

void FileWriter::write(const QString &path, Contents contents)
{
    Writer::instance().write(path, std::move(contents));
}

void FileWriter::flush()
{
    Writer::instance().flush();
}
