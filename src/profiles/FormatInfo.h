#pragma once
// One output profile of the parameter table ("FormatInfo" element of "ParaInfo.dll"): output
// type, choice lists of the settings dialog and the profile's encoder settings. The record owns
// its TEncParam (a value member). The table keeps its records; everybody else works on a Clone().

#include <QString>
#include <memory>

#include "profiles/EncParam.h"

class TFormatInfo {
public:
    int ID = 0;
    QString Format;  // output type key: ".mp4", ".psp" ...
    QString FourCC;
    QString Icon;
    int Categoryid = 0;
    QString Name;
    QString Description;
    // Comma-separated choices of the settings dialog.
    QString Resolution;  // "320*240, ..."
    QString FrameRate;
    QString VideoBitrate;
    QString AudioBitrate;
    QString SampleRate;
    QString Channel;
    QString VideoEnclist;
    QString AudioEncList;
    TEncParam EncParam;
    int Order = 0;  // position among the children of "Product"; not copied by Clone

    // A new, independent copy owned by the caller; its Order is 0.
    std::unique_ptr<TFormatInfo> Clone() const;
};
