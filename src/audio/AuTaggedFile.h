// File sources and sinks that carry tags: one ID3v1, one ID3v2 and one APEv2 store each,
// owned for the component's whole life.
#pragma once

#include "AuFileIn.h"
#include "AuFileOut.h"
#include "AuTags.h"

namespace bw {

class TAuTaggedFileIn : public TAuFileIn {
public:
    TId3v1Tags& Id3v1Tags() { return FId3v1Tags; }
    TId3v2Tags& Id3v2Tags() { return FId3v2Tags; }
    TAPEv2Tags& APEv2Tags() { return FAPEv2Tags; }

private:
    TId3v1Tags FId3v1Tags;
    TId3v2Tags FId3v2Tags;
    TAPEv2Tags FAPEv2Tags;
};

class TAuTaggedFileOut : public TAuFileOut {
public:
    TId3v1Tags& Id3v1Tags() { return FId3v1Tags; }
    TId3v2Tags& Id3v2Tags() { return FId3v2Tags; }
    TAPEv2Tags& APEv2Tags() { return FAPEv2Tags; }
    // Copies the values; the owned store itself is never replaced.
    void SetId3v2Tags(const TId3v2Tags& Value) { FId3v2Tags.Assign(Value); }

private:
    TId3v1Tags FId3v1Tags;
    TId3v2Tags FId3v2Tags;
    TAPEv2Tags FAPEv2Tags;
};

} // namespace bw
