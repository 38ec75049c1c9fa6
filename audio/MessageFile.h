#pragma once
// The notification message in a configuration folder: "MESS340.6" for a message
// shorter than 30 seconds, "MESS340.WAV" for 30 seconds or more. A new recording
// ("announce.wav" in the work folder) is placed there under the name its length
// selects and the file of the other name is removed:
//
//   const MessagePlacement p = PlaceMessageFile(workFolder + "announce.wav", currentFolder, seconds);
//   snapshot.MessageFile = p.name;   // the name the length selects; p.copied tells success
//
// The copy replaces the old file in one step (a failed copy leaves the old file).

#include "WaveFormat.h"

#include <QString>

#include <cstdint>

// Messages of this many whole seconds or more take the long name.
inline constexpr std::int32_t kLongMessageSeconds = 30;

// The name a message of `seconds` whole seconds is stored under.
QString MessageFileNameFor(std::int32_t seconds);

struct MessagePlacement
{
    QString name;              // "MESS340.6" or "MESS340.WAV"
    bool copied = false;       // the recording is now currentFolder + name
    bool otherRemoved = false; // the file of the other name is gone (or was not there)
    QString errorText;         // why the copy or the removal failed
};

// Copies recording over currentFolder (ending with '/') + the name for seconds and
// removes the other name's file, only after the copy succeeded.
MessagePlacement PlaceMessageFile(const QString& recording, const QString& currentFolder, std::int32_t seconds);

// What a message file holds, read from its RIFF chunks.
struct MessageFileInfo
{
    bool valid = false;
    QString errorText;
    tWAVEFORMATEX format;
    std::uint32_t dataBytes = 0; // audio bytes actually present
    double seconds = 0.0;        // dataBytes / bytes per second
};

MessageFileInfo ReadMessageFileInfo(const QString& path);

// "a-law", "mu-law", "PCM" or "format tag <n>".
QString LawName(std::uint16_t formatTag);
