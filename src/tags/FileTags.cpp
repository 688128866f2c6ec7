#include "FileTags.h"

#include "AiffText.h"
#include "AsfTags.h"
#include "TagText.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/asftag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

namespace bw {

namespace {

using namespace tagtext;
using TagLib::ByteVector;
using TagLib::PropertyMap;
using TagLib::String;
using TagLib::StringList;

// The text fields and the property names they go under (TagLib maps each name onto every
// format's own: ALBUMARTIST is TPE2 in ID3v2, "Album Artist" in APEv2, aART in MP4).
struct TTextField {
    const char* Key;
    std::string TFileTags::*Field;
};
const TTextField TextFields[] = {
    {"TITLE", &TFileTags::Title},
    {"ARTIST", &TFileTags::Artist},
    {"ALBUM", &TFileTags::Album},
    {"DATE", &TFileTags::Year},
    {"GENRE", &TFileTags::Genre},
    {"COMMENT", &TFileTags::Comment},
    {"ALBUMARTIST", &TFileTags::AlbumArtist},
    {"MUSICBRAINZ_ALBUMID", &TFileTags::MusicBrainzAlbumId},
    {"MUSICBRAINZ_DISCID", &TFileTags::MusicBrainzDiscId},
    {"MUSICBRAINZ_TRACKID", &TFileTags::MusicBrainzTrackId},
    {"ISRC", &TFileTags::Isrc},
    {"CATALOGNUMBER", &TFileTags::CatalogNumber},
    {"BARCODE", &TFileTags::Barcode}, // ID3v2 TXXX:BARCODE, MP4 ----:com.apple.iTunes:BARCODE
    {"ARTISTS", &TFileTags::Artists},
    {"ARTISTSORT", &TFileTags::ArtistSort},           // TSOP
    {"ALBUMARTISTSORT", &TFileTags::AlbumArtistSort}, // TSO2
    {"DISCSUBTITLE", &TFileTags::DiscSubtitle},       // TSST
    {"ORIGINALDATE", &TFileTags::OriginalDate},       // TDOR
    {"LABEL", &TFileTags::Label},                     // TPUB
    {"ASIN", &TFileTags::Asin},
    {"RELEASECOUNTRY", &TFileTags::ReleaseCountry},
    {"RELEASETYPE", &TFileTags::ReleaseType},
    {"RELEASESTATUS", &TFileTags::ReleaseStatus},
    {"MEDIA", &TFileTags::Media}, // TMED
    {"SCRIPT", &TFileTags::Script},
    {"LANGUAGE", &TFileTags::Language}, // TLAN
    {"MUSICBRAINZ_ARTISTID", &TFileTags::MusicBrainzArtistId},
    {"MUSICBRAINZ_ALBUMARTISTID", &TFileTags::MusicBrainzAlbumArtistId},
    {"MUSICBRAINZ_RELEASEGROUPID", &TFileTags::MusicBrainzReleaseGroupId},
    {"MUSICBRAINZ_RELEASETRACKID", &TFileTags::MusicBrainzReleaseTrackId},
};

// The property keys this program manages beyond the text fields; every other key a file
// carries is left alone.
const char* const NumberKeys[] = {"TRACKNUMBER",
                                  "TRACKTOTAL",
                                  "TOTALTRACKS",
                                  "DISCNUMBER",
                                  "DISCTOTAL",
                                  "TOTALDISCS",
                                  "REPLAYGAIN_TRACK_GAIN",
                                  "REPLAYGAIN_TRACK_PEAK",
                                  "REPLAYGAIN_ALBUM_GAIN",
                                  "REPLAYGAIN_ALBUM_PEAK"};

// The fields as properties. SplitTotal: the track total is a field of its own (Vorbis
// comments) rather than the "/N" of the track number.
PropertyMap ManagedProperties(const TFileTags& Tags, bool SplitTotal) {
    PropertyMap Map;
    auto Put = [&Map](const char* Key, const std::string& Value) {
        if (!Value.empty()) Map.insert(Key, StringList(Utf8(Value)));
    };
    for (const TTextField& Item : TextFields) {
        StringList Values;
        if (!(Tags.*(Item.Field)).empty()) Values.append(Utf8(Tags.*(Item.Field)));
        if (auto More = Tags.MoreValues.find(Item.Key); More != Tags.MoreValues.end())
            for (const std::string& Value : More->second)
                if (!Value.empty()) Values.append(Utf8(Value));
        if (!Values.isEmpty()) Map.insert(Item.Key, Values);
    }
    if (SplitTotal) {
        Put("TRACKNUMBER", Decimal(Tags.TrackNumber));
        Put("TRACKTOTAL", Decimal(Tags.TrackTotal));
        Put("DISCNUMBER", Decimal(Tags.DiscNumber));
        Put("DISCTOTAL", Decimal(Tags.DiscTotal));
    } else {
        Put("TRACKNUMBER", Position(Tags.TrackNumber, Tags.TrackTotal));
        Put("DISCNUMBER", Position(Tags.DiscNumber, Tags.DiscTotal));
    }
    if (Tags.TrackGain) Put("REPLAYGAIN_TRACK_GAIN", FormatReplayGain(*Tags.TrackGain));
    if (Tags.TrackPeak) Put("REPLAYGAIN_TRACK_PEAK", FormatReplayPeak(*Tags.TrackPeak));
    if (Tags.AlbumGain) Put("REPLAYGAIN_ALBUM_GAIN", FormatReplayGain(*Tags.AlbumGain));
    if (Tags.AlbumPeak) Put("REPLAYGAIN_ALBUM_PEAK", FormatReplayPeak(*Tags.AlbumPeak));
    return Map;
}

// Replaces the managed keys of a tag's properties, keeping the rest.
template <class TTag>
void MergeProperties(TTag& Tag, const TFileTags& Tags, bool SplitTotal) {
    PropertyMap Map = Tag.properties();
    for (const TTextField& Item : TextFields)
        Map.erase(Item.Key);
    for (const char* Key : NumberKeys)
        Map.erase(Key);
    Map.merge(ManagedProperties(Tags, SplitTotal));
    Tag.setProperties(Map);
}

std::unique_ptr<TagLib::FLAC::Picture> FlacPicture(const TFileTags& Tags) {
    auto Picture = std::make_unique<TagLib::FLAC::Picture>();
    Picture->setType(TagLib::FLAC::Picture::FrontCover);
    Picture->setMimeType(Utf8(Tags.CoverMimeType));
    Picture->setData(Bytes(Tags.Cover));
    return Picture;
}

// Opus players apply R128_TRACK_GAIN and R128_ALBUM_GAIN (RFC 7845) on top of the OpusHead
// output gain, which our encoder leaves at 0, and ignore ReplayGain's keys. Peaks have no
// place there.
struct TR128Key {
    const char* Key;
    std::optional<double> TFileTags::*Gain;
};
const TR128Key R128Keys[] = {{"R128_TRACK_GAIN", &TFileTags::TrackGain},
                             {"R128_ALBUM_GAIN", &TFileTags::AlbumGain}};

void WriteOpusGains(TagLib::Ogg::XiphComment& Tag, const TFileTags& Tags) {
    for (const TR128Key& Item : R128Keys) {
        Tag.removeFields(Item.Key);
        if (const std::optional<double>& Gain = Tags.*(Item.Gain))
            Tag.addField(Item.Key, String(std::to_string(R128Gain(*Gain))));
    }
}

void ReadOpusGains(const PropertyMap& Map, TFileTags& Tags) {
    Tags.TrackPeak = Tags.AlbumPeak = std::nullopt;
    for (const TR128Key& Item : R128Keys) {
        Tags.*(Item.Gain) = std::nullopt;
        auto It = Map.find(Item.Key);
        if (It == Map.end() || It->second.isEmpty()) continue;
        const std::string Text = FromTag(It->second.front());
        const char* First = Text.data() + (Text.starts_with('+') ? 1 : 0);
        int Value = 0;
        auto [End, Error] = std::from_chars(First, Text.data() + Text.size(), Value);
        if (Error == std::errc() && End == Text.data() + Text.size() && Value >= -32768 &&
            Value <= 32767)
            Tags.*(Item.Gain) = Value / 256.0 + R128Offset;
    }
}

void WriteXiph(TagLib::Ogg::XiphComment& Tag, const TFileTags& Tags, bool Pictures, bool Opus) {
    if (Opus) {
        TFileTags Plain = Tags;
        Plain.TrackGain = Plain.TrackPeak = Plain.AlbumGain = Plain.AlbumPeak = std::nullopt;
        MergeProperties(Tag, Plain, true);
        WriteOpusGains(Tag, Tags);
    } else {
        MergeProperties(Tag, Tags, true);
    }
    if (!Pictures) return;
    Tag.removeAllPictures();
    if (!Tags.Cover.empty()) Tag.addPicture(FlacPicture(Tags).release());
}

// TXXX descriptions as MusicBrainz's tagger spells them (TagLib's own spelling differs).
struct TId3Txxx {
    const char* Description;
    std::string TFileTags::*Field;
    const char* Key; // the field's property name
};
const TId3Txxx Id3MusicBrainz[] = {
    {"MusicBrainz Album Id", &TFileTags::MusicBrainzAlbumId, "MUSICBRAINZ_ALBUMID"},
    {"MusicBrainz Disc Id", &TFileTags::MusicBrainzDiscId, "MUSICBRAINZ_DISCID"},
    {"MusicBrainz Track Id", &TFileTags::MusicBrainzTrackId, "MUSICBRAINZ_TRACKID"},
    {"MusicBrainz Artist Id", &TFileTags::MusicBrainzArtistId, "MUSICBRAINZ_ARTISTID"},
    {"MusicBrainz Album Artist Id", &TFileTags::MusicBrainzAlbumArtistId,
     "MUSICBRAINZ_ALBUMARTISTID"},
    {"MusicBrainz Release Group Id", &TFileTags::MusicBrainzReleaseGroupId,
     "MUSICBRAINZ_RELEASEGROUPID"},
    {"MusicBrainz Release Track Id", &TFileTags::MusicBrainzReleaseTrackId,
     "MUSICBRAINZ_RELEASETRACKID"},
    {"MusicBrainz Album Release Country", &TFileTags::ReleaseCountry, "RELEASECOUNTRY"},
    {"MusicBrainz Album Type", &TFileTags::ReleaseType, "RELEASETYPE"},
    {"MusicBrainz Album Status", &TFileTags::ReleaseStatus, "RELEASESTATUS"},
};

TagLib::ID3v2::UserTextIdentificationFrame* FindTxxx(TagLib::ID3v2::Tag& Tag,
                                                     const char* Description) {
    String Wanted = String(Description).upper();
    for (TagLib::ID3v2::Frame* Frame : Tag.frameList("TXXX")) {
        auto* Text = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame*>(Frame);
        if (Text && Text->description().upper() == Wanted) return Text;
    }
    return nullptr;
}

void WriteId3v2(TagLib::ID3v2::Tag& Tag, const TFileTags& Tags) {
    TFileTags Others = Tags;
    for (const TId3Txxx& Item : Id3MusicBrainz) {
        // The recording id also goes into the UFID frame, which TagLib makes of it.
        if (Item.Field != &TFileTags::MusicBrainzTrackId) (Others.*(Item.Field)).clear();
        Others.MoreValues.erase(Item.Key);
    }
    // TagLib of this version knows no frame for the disc subtitle: TSST, as ID3v2.4 has it.
    Others.DiscSubtitle.clear();
    MergeProperties(Tag, Others, false);
    Tag.removeFrames("TSST");
    if (!Tags.DiscSubtitle.empty()) {
        auto Frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>("TSST", String::UTF8);
        Frame->setText(Utf8(Tags.DiscSubtitle));
        Tag.addFrame(Frame.release());
    }
    for (const TId3Txxx& Item : Id3MusicBrainz) {
        while (auto* Old = FindTxxx(Tag, Item.Description))
            Tag.removeFrame(Old);
        StringList Values;
        for (const std::string& Value : AllValues(Tags, Item.Field, Item.Key))
            Values.append(Utf8(Value));
        if (!Values.isEmpty()) {
            auto Frame = std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>(String::UTF8);
            Frame->setDescription(Item.Description);
            Frame->setText(Values);
            Tag.addFrame(Frame.release());
        }
    }
    Tag.removeFrames("APIC");
    if (Tags.Cover.empty()) return;
    auto Frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    Frame->setTextEncoding(String::UTF8);
    Frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    Frame->setMimeType(Utf8(Tags.CoverMimeType));
    Frame->setPicture(Bytes(Tags.Cover));
    Tag.addFrame(Frame.release());
}

const char* const ApeCoverKey = "Cover Art (Front)";

void WriteApe(TagLib::APE::Tag& Tag, const TFileTags& Tags) {
    MergeProperties(Tag, Tags, false);
    Tag.removeItem(ApeCoverKey);
    if (Tags.Cover.empty()) return;
    // A binary item: a file name, a zero byte, then the image.
    std::string Name = Tags.CoverMimeType == "image/png" ? "cover.png" : "cover.jpg";
    ByteVector Value(Name.c_str(), static_cast<unsigned int>(Name.size() + 1));
    Value.append(Bytes(Tags.Cover));
    Tag.setItem(ApeCoverKey, TagLib::APE::Item(ApeCoverKey, Value, true));
}

void WriteMp4(TagLib::MP4::Tag& Tag, const TFileTags& Tags) {
    MergeProperties(Tag, Tags, false);
    Tag.removeItem("covr");
    if (Tags.Cover.empty()) return;
    auto Format = Tags.CoverMimeType == "image/png" ? TagLib::MP4::CoverArt::PNG
                                                    : TagLib::MP4::CoverArt::JPEG;
    TagLib::MP4::CoverArtList Covers;
    Covers.append(TagLib::MP4::CoverArt(Format, Bytes(Tags.Cover)));
    Tag.setItem("covr", TagLib::MP4::Item(Covers));
}

// The values of a property, each made plain (Meaningful), empty ones left out.
std::vector<std::string> ValuesOf(const PropertyMap& Map, const char* Key) {
    std::vector<std::string> Values;
    auto It = Map.find(Key);
    if (It == Map.end()) return Values;
    for (const String& Value : It->second)
        if (std::string Text = Meaningful(FromTag(Value)); !Text.empty())
            Values.push_back(std::move(Text));
    return Values;
}

// "n/N" or "n", with the total also from keys of its own.
void ReadPosition(const PropertyMap& Map, const char* Key,
                  std::initializer_list<const char*> TotalKeys, int& Number, int& Total) {
    std::vector<std::string> Values = ValuesOf(Map, Key);
    const std::string Text = Values.empty() ? std::string() : Values.front();
    Number = LeadingNumber(Text);
    std::size_t Slash = Text.find('/');
    Total = Slash != std::string::npos ? LeadingNumber(Text.substr(Slash + 1)) : 0;
    for (const char* TotalKey : TotalKeys)
        if (std::vector<std::string> More = ValuesOf(Map, TotalKey); Total == 0 && !More.empty())
            Total = LeadingNumber(More.front());
}

// Fills the fields from a property map.
void ReadProperties(const PropertyMap& Map, TFileTags& Tags) {
    auto Get = [&Map](const char* Key) -> std::string {
        std::vector<std::string> Values = ValuesOf(Map, Key);
        return Values.empty() ? std::string() : Values.front();
    };
    for (const TTextField& Item : TextFields) {
        std::vector<std::string> Values = ValuesOf(Map, Item.Key);
        Tags.*(Item.Field) = Values.empty() ? std::string() : Values.front();
        if (Values.size() > 1)
            Tags.MoreValues[Item.Key].assign(Values.begin() + 1, Values.end());
        else
            Tags.MoreValues.erase(Item.Key);
    }
    ReadPosition(Map, "TRACKNUMBER", {"TRACKTOTAL", "TOTALTRACKS"}, Tags.TrackNumber,
                 Tags.TrackTotal);
    ReadPosition(Map, "DISCNUMBER", {"DISCTOTAL", "TOTALDISCS"}, Tags.DiscNumber, Tags.DiscTotal);
    Tags.TrackGain = ParseReplayGain(Get("REPLAYGAIN_TRACK_GAIN"));
    Tags.TrackPeak = ParseReplayGain(Get("REPLAYGAIN_TRACK_PEAK"));
    Tags.AlbumGain = ParseReplayGain(Get("REPLAYGAIN_ALBUM_GAIN"));
    Tags.AlbumPeak = ParseReplayGain(Get("REPLAYGAIN_ALBUM_PEAK"));
}

// The front cover among FLAC pictures (any picture when none is marked front).
void ReadFlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& Pictures, TFileTags& Tags) {
    const TagLib::FLAC::Picture* Chosen = nullptr;
    for (const TagLib::FLAC::Picture* Picture : Pictures)
        if (!Chosen || Picture->type() == TagLib::FLAC::Picture::FrontCover)
            if (!Chosen || Chosen->type() != TagLib::FLAC::Picture::FrontCover) Chosen = Picture;
    if (Chosen) {
        Tags.Cover = FromBytes(Chosen->data());
        Tags.CoverMimeType = FromTag(Chosen->mimeType());
    }
}

void ReadId3v2(TagLib::ID3v2::Tag& Tag, TFileTags& Tags) {
    if (!Tag.frameList("TSST").isEmpty())
        Tags.DiscSubtitle = Meaningful(FromTag(Tag.frameList("TSST").front()->toString()));
    for (const TId3Txxx& Item : Id3MusicBrainz) {
        auto* Frame = FindTxxx(Tag, Item.Description);
        if (!Frame) continue;
        std::vector<std::string> Values;
        const StringList Fields = Frame->fieldList();
        for (unsigned int i = 1; i < Fields.size(); ++i)
            if (std::string Text = Meaningful(FromTag(Fields[i])); !Text.empty())
                Values.push_back(std::move(Text));
        if (Values.empty()) continue;
        Tags.*(Item.Field) = Values.front();
        if (Values.size() > 1) Tags.MoreValues[Item.Key].assign(Values.begin() + 1, Values.end());
    }

    const TagLib::ID3v2::AttachedPictureFrame* Chosen = nullptr;
    for (TagLib::ID3v2::Frame* Frame : Tag.frameList("APIC")) {
        auto* Picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(Frame);
        if (Picture && (!Chosen || (Chosen->type() != Picture->FrontCover &&
                                    Picture->type() == Picture->FrontCover)))
            Chosen = Picture;
    }
    if (Chosen) {
        Tags.Cover = FromBytes(Chosen->picture());
        Tags.CoverMimeType = FromTag(Chosen->mimeType());
    }
}

void ReadApePicture(const TagLib::APE::Tag& Tag, TFileTags& Tags) {
    auto It = Tag.itemListMap().find(String(ApeCoverKey).upper());
    if (It == Tag.itemListMap().end()) return;
    ByteVector Value = It->second.binaryData();
    int Zero = Value.find('\0');
    if (Zero < 0) return;
    Tags.Cover = FromBytes(Value.mid(static_cast<unsigned int>(Zero) + 1));
}

// Fields the first tag lacks, from another.
void FillEmpty(TFileTags& Tags, const TFileTags& From) {
    for (const TTextField& Item : TextFields)
        if ((Tags.*(Item.Field)).empty()) Tags.*(Item.Field) = From.*(Item.Field);
    if (Tags.TrackNumber == 0) Tags.TrackNumber = From.TrackNumber;
    if (Tags.TrackTotal == 0) Tags.TrackTotal = From.TrackTotal;
}

[[noreturn]] void Fail(const std::filesystem::path& FileName, const std::string& Reason) {
    throw EFileTags("Tags of \"" + FileName.string() + "\": " + Reason);
}

// The format told by the file's first bytes, for names whose extension says nothing (files
// written under a temporary name).
TagLib::File* OpenByContent(const std::filesystem::path& FileName) {
    std::ifstream In(FileName, std::ios::binary);
    char Head[64] = {};
    In.read(Head, sizeof Head);
    const std::string_view Bytes(Head, static_cast<std::size_t>(In.gcount()));
    auto At = [&Bytes](std::size_t Offset, std::string_view Magic) {
        return Bytes.size() >= Offset + Magic.size() && Bytes.substr(Offset, Magic.size()) == Magic;
    };
    const char* Name = FileName.c_str();
    if (At(0, "fLaC")) return new TagLib::FLAC::File(Name, false);
    if (At(0, "OggS")) {
        if (Bytes.find("OpusHead") != std::string_view::npos)
            return new TagLib::Ogg::Opus::File(Name, false);
        return new TagLib::Ogg::Vorbis::File(Name, false);
    }
    if (At(0, "MAC ")) return new TagLib::APE::File(Name, false);
    if (At(0, "wvpk")) return new TagLib::WavPack::File(Name, false);
    if (At(0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11")) return new TagLib::ASF::File(Name, false);
    if (At(0, "RIFF") && At(8, "WAVE")) return new TagLib::RIFF::WAV::File(Name, false);
    if (At(0, "FORM") && (At(8, "AIFF") || At(8, "AIFC")))
        return new TagLib::RIFF::AIFF::File(Name, false);
    if (At(4, "ftyp")) return new TagLib::MP4::File(Name, false);
    if (At(0, "ID3") || (Bytes.size() > 1 && static_cast<unsigned char>(Bytes[0]) == 0xFF &&
                         (static_cast<unsigned char>(Bytes[1]) & 0xE0) == 0xE0))
        return new TagLib::MPEG::File(Name, false);
    return nullptr;
}

TagLib::FileRef Open(const std::filesystem::path& FileName) {
    if (!std::filesystem::is_regular_file(FileName)) Fail(FileName, "the file does not exist");
    TagLib::FileRef Ref(FileName.c_str(), false);
    if (Ref.isNull() || !Ref.file()->isValid()) Ref = TagLib::FileRef(OpenByContent(FileName));
    if (Ref.isNull() || !Ref.file()->isValid())
        Fail(FileName, "not an audio format whose tags can be written");
    return Ref;
}

} // namespace

void WriteFileTags(const std::filesystem::path& FileName, const TFileTags& Tags) {
    TagLib::FileRef Ref = Open(FileName);
    TagLib::File* File = Ref.file();
    if (File->readOnly()) Fail(FileName, "the file is read-only");
    bool Saved = false;
    if (auto* Flac = dynamic_cast<TagLib::FLAC::File*>(File)) {
        WriteXiph(*Flac->xiphComment(true), Tags, false, false);
        Flac->removePictures();
        if (!Tags.Cover.empty()) Flac->addPicture(FlacPicture(Tags).release());
        Saved = Flac->save();
    } else if (auto* Xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(File->tag())) {
        // Ogg Vorbis, Opus, Speex, Ogg FLAC
        WriteXiph(*Xiph, Tags, true, dynamic_cast<TagLib::Ogg::Opus::File*>(File) != nullptr);
        Saved = File->save();
    } else if (auto* Mpeg = dynamic_cast<TagLib::MPEG::File*>(File)) {
        WriteId3v2(*Mpeg->ID3v2Tag(true), Tags);
        // Only the ID3v2 tag is written: an ID3v1 block at the end stays byte for byte.
        Saved = Mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                           TagLib::File::DoNotDuplicate);
    } else if (auto* Ape = dynamic_cast<TagLib::APE::File*>(File)) {
        WriteApe(*Ape->APETag(true), Tags);
        Saved = Ape->save();
    } else if (auto* WavPack = dynamic_cast<TagLib::WavPack::File*>(File)) {
        WriteApe(*WavPack->APETag(true), Tags);
        Saved = WavPack->save();
    } else if (auto* Asf = dynamic_cast<TagLib::ASF::File*>(File)) {
        WriteAsf(*Asf->tag(), Tags);
        Saved = Asf->save();
    } else if (auto* Mp4 = dynamic_cast<TagLib::MP4::File*>(File)) {
        WriteMp4(*Mp4->tag(), Tags);
        Saved = Mp4->save();
    } else if (auto* Wav = dynamic_cast<TagLib::RIFF::WAV::File*>(File)) {
        WriteId3v2(*Wav->ID3v2Tag(), Tags);
        MergeProperties(*Wav->InfoTag(), Tags, false);
        Saved =
            Wav->save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripNone, TagLib::ID3v2::v4);
    } else if (auto* Aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(File)) {
        WriteId3v2(*Aiff->tag(), Tags);
        Saved = Aiff->save();
    } else {
        Fail(FileName, "not an audio format whose tags can be written");
    }
    if (!Saved) Fail(FileName, "the file could not be saved");
}

TFileTags ReadFileTags(const std::filesystem::path& FileName) {
    TagLib::FileRef Ref = Open(FileName);
    TagLib::File* File = Ref.file();
    TFileTags Tags;
    if (auto* Asf = dynamic_cast<TagLib::ASF::File*>(File)) {
        ReadAsf(*Asf->tag(), Tags);
        return Tags;
    }
    const PropertyMap Properties = File->properties();
    ReadProperties(Properties, Tags);
    if (auto* Mpeg = dynamic_cast<TagLib::MPEG::File*>(File); Mpeg && Mpeg->hasID3v1Tag()) {
        // TagLib gives the first tag only: an ID3v1 block fills what the ID3v2 tag lacks.
        TFileTags Old;
        ReadProperties(Mpeg->ID3v1Tag()->properties(), Old);
        FillEmpty(Tags, Old);
    } else if (auto* Aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(File)) {
        // FFmpeg writes an AIFF file's title, author and comment as text chunks of their own;
        // the ID3 chunk wins where both have a field.
        std::ifstream In(FileName, std::ios::binary);
        const TAiffText Text = ReadAiffText(In);
        TFileTags Chunks;
        Chunks.Title = Meaningful(Text.Name);
        Chunks.Artist = Meaningful(Text.Author);
        Chunks.Comment = Meaningful(Text.Annotation);
        FillEmpty(Tags, Chunks);
        (void)Aiff;
    }
    if (dynamic_cast<TagLib::Ogg::Opus::File*>(File)) ReadOpusGains(Properties, Tags);
    if (auto* Flac = dynamic_cast<TagLib::FLAC::File*>(File)) {
        ReadFlacPictures(Flac->pictureList(), Tags);
    } else if (auto* Xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(File->tag())) {
        ReadFlacPictures(Xiph->pictureList(), Tags);
    } else if (auto* Mpeg = dynamic_cast<TagLib::MPEG::File*>(File)) {
        if (Mpeg->hasID3v2Tag())
            ReadId3v2(*Mpeg->ID3v2Tag(), Tags);
        else if (Mpeg->hasAPETag())
            ReadApePicture(*Mpeg->APETag(), Tags);
    } else if (auto* Ape = dynamic_cast<TagLib::APE::File*>(File)) {
        if (Ape->hasAPETag()) ReadApePicture(*Ape->APETag(), Tags);
    } else if (auto* WavPack = dynamic_cast<TagLib::WavPack::File*>(File)) {
        if (WavPack->hasAPETag()) ReadApePicture(*WavPack->APETag(), Tags);
    } else if (auto* Mp4 = dynamic_cast<TagLib::MP4::File*>(File)) {
        if (Mp4->tag()->contains("covr")) {
            TagLib::MP4::CoverArtList Covers = Mp4->tag()->item("covr").toCoverArtList();
            if (!Covers.isEmpty()) Tags.Cover = FromBytes(Covers.front().data());
        }
    } else if (auto* Wav = dynamic_cast<TagLib::RIFF::WAV::File*>(File)) {
        if (Wav->hasID3v2Tag()) ReadId3v2(*Wav->ID3v2Tag(), Tags);
    } else if (auto* Aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(File)) {
        if (Aiff->hasID3v2Tag()) ReadId3v2(*Aiff->tag(), Tags);
    }
    if (!Tags.Cover.empty() && Tags.CoverMimeType.empty())
        Tags.CoverMimeType = ImageMimeType(Tags.Cover);
    return Tags;
}

std::string FormatReplayGain(double Gain) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%.2f dB", Gain);
    return Text;
}

int R128Gain(double ReplayGain) {
    const double Value = std::round(256.0 * (ReplayGain - R128Offset));
    return static_cast<int>(std::clamp(Value, -32768.0, 32767.0));
}

std::string FormatReplayPeak(double Peak) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%.6f", Peak);
    return Text;
}

std::optional<double> ParseReplayGain(const std::string& Text) {
    std::size_t Start = Text.find_first_not_of(' ');
    if (Start == std::string::npos) return std::nullopt;
    const char* First = Text.data() + Start;
    if (*First == '+') ++First;
    double Value = 0;
    auto [End, Error] = std::from_chars(First, Text.data() + Text.size(), Value);
    if (Error != std::errc() || !std::isfinite(Value)) return std::nullopt;
    std::string Rest(End, Text.data() + Text.size());
    std::size_t Unit = Rest.find_first_not_of(' ');
    if (Unit != std::string::npos && Rest.compare(Unit, std::string::npos, "dB") != 0 &&
        Rest.compare(Unit, std::string::npos, "db") != 0)
        return std::nullopt;
    return Value;
}

std::string ImageMimeType(const std::vector<unsigned char>& Bytes) {
    auto Starts = [&Bytes](std::initializer_list<unsigned char> Prefix) {
        return Bytes.size() >= Prefix.size() &&
               std::equal(Prefix.begin(), Prefix.end(), Bytes.begin());
    };
    if (Starts({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return "image/png";
    if (Starts({0xFF, 0xD8, 0xFF})) return "image/jpeg";
    if (Starts({'G', 'I', 'F', '8'})) return "image/gif";
    return {};
}

} // namespace bw
