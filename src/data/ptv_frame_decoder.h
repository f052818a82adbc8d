#pragma once

#include "data/demosaicer.h"
#include "data/image_filter.h"
#include "data/ptv_reader.h"

#include <QString>

#include <cstdio>
#include <memory>

class ScanFrameStore;

// Sets the store up for a sequence: frame size, texture kind and calibration from the header, and
// buffers for its frames. Fails, leaving the store as it was, when the memory is not there.
bool beginPtvSequence(ScanFrameStore &store, const PtvHeader &header, QString *error);

// Turns frames of an open sequence into store frames the way playback shows them: read, mask from
// the texture, demosaic and smooth the colour, smooth the valid phases, frame kind 2. Its read
// buffers and filter memory are kept from frame to frame, so a tick of unchanged size allocates
// nothing.
class PtvFrameDecoder {
  public:
    // Decodes frame `frame` of the file into the store, which beginPtvSequence set up for this
    // header. A frame that cannot be read completely is reported and leaves the store untouched.
    bool decodeFrame(std::FILE *file, const PtvHeader &header, int32_t frame, ScanFrameStore &store,
                     QString *error);
    // The two halves of decodeFrame, for a caller that must know the frame can be read before it
    // sets the store up for a new sequence: readFrame touches only the decoder, and commitFrame
    // (which cannot fail) moves the frame read last into a store set up for the same header.
    bool readFrame(std::FILE *file, const PtvHeader &header, int32_t frame, QString *error);
    void commitFrame(const PtvHeader &header, ScanFrameStore &store);

  private:
    PTVReader m_reader;
    int64_t m_pixelCount = -1;
    int64_t m_textureBytes = -1;
    std::unique_ptr<float[]> m_phase;
    std::unique_ptr<uint8_t[]> m_texture;
    std::unique_ptr<Demosaicer> m_demosaicer;
};
