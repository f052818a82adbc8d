#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// The reading behind the Change and Noise colourings and the Depth over time plot, on a thread of
// its own with a source of its own, so that playback's cache and clock never wait for it: the
// noise of each pixel over the window of frames around a frame (a window that follows playback
// reads two frames a step), the mean depth of the first frames, and the series of pinned pixels
// over the whole video, handed back a stretch at a time. Each answer comes to the GUI thread as a
// signal; what was asked for another file, or asked again meanwhile, is dropped.
class DepthAnalysis : public QObject {
    Q_OBJECT

  public:
    explicit DepthAnalysis(QObject *parent = nullptr);
    // Stops between two frames and waits for the thread.
    ~DepthAnalysis() override;

    // Works on the 3D video at `path` from now on; asks for its noise at once.
    void open(const QString &path);
    // Nothing to work on: a single frame is shown.
    void close();
    // The noise around frame `frame`: only the last frame asked for is answered.
    void askNoise(int frame);
    // The mean depth of frames 0 to frames - 1.
    void askMean(int frames);
    // The series of these pixels over every frame (those asked for before are dropped).
    void askSeries(const QVector<QPoint> &pixels);
    // The noise map and the mean told of last, taken by whoever shows them; a buffer given back
    // takes the next map, so that a noise that follows playback allocates nothing a frame.
    std::vector<float> takeNoise() { return std::move(m_noise); }
    std::vector<float> takeMean() { return std::move(m_mean); }
    void giveBack(std::vector<float> buffer);

  signals:
    // The temporal noise of the video, around its first frame: the median over the frame.
    void noiseLevelFound(float noise);
    // Each pixel's noise over frames first to last, the window of frame `frame`, and its median.
    void noiseFound(int frame, int first, int last, float median);
    void meanFound(int frames);
    // The depths of the pixels in frames first on, frame by frame (values.size() / pixels a frame).
    void seriesFound(const QVector<QPoint> &pixels, int first, const QVector<float> &values);
    // A frame could not be read: why.
    void failed(const QString &reason);

  private:
    // What is asked and not yet answered; guarded by m_mutex.
    struct Wanted {
        bool level = false;
        int noiseFrame = -1;
        int meanFrames = 0;
        QVector<QPoint> series;
        int seriesNext = 0;
    };

    enum Task { Idle, Level, Mean, Noise, Series };

    void run();
    // Hands a result to the GUI thread unless the file changed since `generation`.
    template <typename Emit> void answer(uint64_t generation, Emit emitIt);
    // Another file, or none: what runs stops, and nothing asked before is answered.
    void restart(const QString &path);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    Wanted m_wanted;
    QString m_path;
    uint64_t m_generation = 0;
    bool m_stopping = false;
    Task m_running = Idle;
    // Buffers the GUI thread gave back.
    std::vector<std::vector<float>> m_spare;
    // Set when what runs is no longer wanted: the reading stops between two frames.
    std::atomic<bool> m_interrupt{false};
    std::thread m_thread;
    // On the GUI thread: the answers not yet taken.
    std::vector<float> m_noise;
    std::vector<float> m_mean;
};
