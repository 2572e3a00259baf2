#pragma once
// The compression settings a recording preset carries as "CompressionData": the standard compression
// settings as an atom container. The container is a 12-byte header and a tree of atoms, each with a
// 20-byte header (size, type, ID, reserved, child count, reserved) before its data or children. The leaf
// atoms read here:
//   'sptl' spatial settings: codec type (four characters), codec, depth (16 bits), spatial quality;
//   'tprl' temporal settings: temporal quality, frame rate (16.16), key frame rate;
//   'drat' data rate settings: data rate (bytes per second), frame duration, minimum spatial and
//          temporal quality.
// All numbers are big-endian 32-bit unless said otherwise.
#include "platform/basekit/property_list.h"

#include <cstdint>
#include <optional>
#include <string>

struct MVPCaptureCompressionSettings {
    uint32_t codecType = 0; // 0: not given
    int64_t dataRate = 0; // bytes per second; 0: not given
    double frameRate = 0; // 0: not given
    int32_t keyFrameRate = 0; // a key frame every this many frames; 0: not given
};

// The settings of `data`; nothing when it is no atom container.
std::optional<MVPCaptureCompressionSettings> MVPCaptureCompressionSettingsFromData(const HXData& data);
// An atom container holding the settings given (a preset's "CompressionData").
HXData MVPCaptureCompressionData(const MVPCaptureCompressionSettings& settings);
// The encoder we record with for a codec type ("h264" for 'avc1', "mpeg4" for 'mp4v', "mjpeg" for
// 'jpeg' and 'mjpa'); empty for codecs we do not record.
std::string MVPCaptureEncoderForCodecType(uint32_t codecType);
