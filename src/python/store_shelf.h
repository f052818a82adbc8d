#pragma once

#include "data/scan_frame_store.h"

#include <memory>
#include <mutex>

// The store of the last frame of a sequence that Python let go of, kept by its scan for the next
// read: decoding into buffers already in use spares the system mapping, and zero-filling, tens of
// megabytes a frame. The module keeps this memory itself, so the host process's allocator keeps its
// own settings; the store goes with the scan.
class StoreShelf {
  public:
    void put(std::unique_ptr<ScanFrameStore> store) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_store.swap(store);
    }
    std::unique_ptr<ScanFrameStore> take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::move(m_store);
    }

  private:
    std::mutex m_mutex;
    std::unique_ptr<ScanFrameStore> m_store;
};
