// Sorting found files into kinds by extension: 0 photo, 1 video, 2 audio, 3 other.
#pragma once

enum FileKind { kPhoto = 0, kVideo = 1, kAudio = 2, kOther = 3 };

// The kind of an extension (without the dot, any ASCII case). An extension no table
// knows is shown to the user in an error box (no owner) and gives kOther.
int classify_extension(const char* ext);

// The same without the box: callers that hold a lock tell the user afterwards.
int classify_extension_quietly(const char* ext);
