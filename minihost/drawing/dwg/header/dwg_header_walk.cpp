#include "minihost/drawing/dwg/header/dwg_header_walk.h"

#include <cstring>
#include <string_view>

namespace minihost {
namespace dwg {
namespace header {
namespace {

enum class Code : std::uint8_t {
    B,
    BS,
    BL,
    BLL,
    BD,
    RC,
    RD2,
    BD3,
    TimeBll,
    Cmc,
    Handle,        // in the main stream in every version
    Ref,           // AC1018: in the main stream; later: in the handle stream
    PlotStyleType, // a BS: the value 3 brings the handle PlotStyle
    PlotStyle,     // a Ref that is there only when the plot style type is 3
    TV,            // AC1018 only: later versions keep these texts in the string stream
    LastBS,        // a BS: AC1018 in the main stream; later after the handle stream's handles
};

constexpr unsigned kAll = k18 | k24 | k27 | k32;
constexpr unsigned k24up = k24 | k27 | k32;
constexpr unsigned k27up = k27 | k32;

// One row: variables of one code in one set of versions, names separated by blanks.
struct Row {
    Code code;
    unsigned versions;
    const char* names;
};

const Row kRows[] = {
    {Code::BLL, k27up, "REQUIREDVERSIONS"},
    {Code::BD, kAll, "unit1_ratio unit2_ratio unit3_ratio unit4_ratio"},
    {Code::TV, k18, "unit1_name unit2_name unit3_name unit4_name"},
    {Code::BL, kAll, "unknown_8 unknown_9"},
    {Code::B, kAll,
     "DIMASO DIMSHO PLINEGEN ORTHOMODE REGENMODE FILLMODE QTEXTMODE PSLTSCALE LIMCHECK "
     "unknown_11 USRTIMER SKPOLY ANGDIR SPLFRAME MIRRTEXT WORLDVIEW TILEMODE PLIMCHECK "
     "VISRETAIN DISPSILH PELLIPSE"},
    {Code::BS, kAll, "PROXYGRAPHICS TREEDEPTH LUNITS LUPREC AUNITS AUPREC ATTMODE PDMODE"},
    {Code::BL, kAll, "unknown_12 unknown_13 unknown_14"},
    {Code::BS, kAll,
     "USERI1 USERI2 USERI3 USERI4 USERI5 SPLINESEGS SURFU SURFV SURFTYPE SURFTAB1 SURFTAB2 "
     "SPLINETYPE SHADEDGE SHADEDIF UNITMODE MAXACTVP ISOLINES CMLJUST TEXTQLTY"},
    {Code::BD, kAll,
     "LTSCALE TEXTSIZE TRACEWID SKETCHINC FILLETRAD THICKNESS ANGBASE PDSIZE PLINEWID USERR1 "
     "USERR2 USERR3 USERR4 USERR5 CHAMFERA CHAMFERB CHAMFERC CHAMFERD FACETRES CMLSCALE "
     "CELTSCALE"},
    {Code::TV, k18, "MENU"},
    {Code::TimeBll, kAll, "TDUCREATE TDUUPDATE"},
    {Code::BL, kAll, "unknown_15 unknown_16 unknown_17"},
    {Code::TimeBll, kAll, "TDINDWG TDUSRTIMER"},
    {Code::Cmc, kAll, "CECOLOR"},
    {Code::Handle, kAll, "HANDSEED"},
    {Code::Ref, kAll, "CLAYER TEXTSTYLE CELTYPE"},
    {Code::Ref, k24up, "CMATERIAL"},
    {Code::Ref, kAll, "DIMSTYLE CMLSTYLE"},
    {Code::BD, kAll, "PSVPSCALE"},
    {Code::BD3, kAll, "PINSBASE PEXTMIN PEXTMAX"},
    {Code::RD2, kAll, "PLIMMIN PLIMMAX"},
    {Code::BD, kAll, "PELEVATION"},
    {Code::BD3, kAll, "PUCSORG PUCSXDIR PUCSYDIR"},
    {Code::Ref, kAll, "PUCSNAME PUCSORTHOREF"},
    {Code::BS, kAll, "PUCSORTHOVIEW"},
    {Code::Ref, kAll, "PUCSBASE"},
    {Code::BD3, kAll,
     "PUCSORGTOP PUCSORGBOTTOM PUCSORGLEFT PUCSORGRIGHT PUCSORGFRONT PUCSORGBACK INSBASE EXTMIN "
     "EXTMAX"},
    {Code::RD2, kAll, "LIMMIN LIMMAX"},
    {Code::BD, kAll, "ELEVATION"},
    {Code::BD3, kAll, "UCSORG UCSXDIR UCSYDIR"},
    {Code::Ref, kAll, "UCSNAME UCSORTHOREF"},
    {Code::BS, kAll, "UCSORTHOVIEW"},
    {Code::Ref, kAll, "UCSBASE"},
    {Code::BD3, kAll, "UCSORGTOP UCSORGBOTTOM UCSORGLEFT UCSORGRIGHT UCSORGFRONT UCSORGBACK"},
    {Code::TV, k18, "DIMPOST DIMAPOST"},
    {Code::BD, kAll, "DIMSCALE DIMASZ DIMEXO DIMDLI DIMEXE DIMRND DIMDLE DIMTP DIMTM"},
    {Code::BD, k24up, "DIMFXL DIMJOGANG"},
    {Code::BS, k24up, "DIMTFILL"},
    {Code::Cmc, k24up, "DIMTFILLCLR"},
    {Code::B, kAll, "DIMTOL DIMLIM DIMTIH DIMTOH DIMSE1 DIMSE2"},
    {Code::BS, kAll, "DIMTAD DIMZIN DIMAZIN"},
    {Code::BS, k24up, "DIMARCSYM"},
    {Code::BD, kAll, "DIMTXT DIMCEN DIMTSZ DIMALTF DIMLFAC DIMTVP DIMTFAC DIMGAP DIMALTRND"},
    {Code::B, kAll, "DIMALT"},
    {Code::BS, kAll, "DIMALTD"},
    {Code::B, kAll, "DIMTOFL DIMSAH DIMTIX DIMSOXD"},
    {Code::Cmc, kAll, "DIMCLRD DIMCLRE DIMCLRT"},
    {Code::BS, kAll,
     "DIMADEC DIMDEC DIMTDEC DIMALTU DIMALTTD DIMAUNIT DIMFRAC DIMLUNIT DIMDSEP DIMTMOVE "
     "DIMJUST"},
    {Code::B, kAll, "DIMSD1 DIMSD2"},
    {Code::BS, kAll, "DIMTOLJ DIMTZIN DIMALTZ DIMALTTZ"},
    {Code::B, kAll, "DIMUPT"},
    {Code::BS, kAll, "DIMATFIT"},
    {Code::B, k24up, "DIMFXLON"},
    {Code::B, k24up, "DIMTXTDIRECTION"},
    {Code::BD, k24up, "DIMALTMZF DIMMZF"},
    {Code::Ref, kAll, "DIMTXSTY DIMLDRBLK DIMBLK DIMBLK1 DIMBLK2"},
    {Code::Ref, k24up, "DIMLTYPE DIMLTEX1 DIMLTEX2"},
    {Code::BS, kAll, "DIMLWD DIMLWE"},
    {Code::Ref, kAll,
     "BLOCK_CONTROL_OBJECT LAYER_CONTROL_OBJECT STYLE_CONTROL_OBJECT LTYPE_CONTROL_OBJECT "
     "VIEW_CONTROL_OBJECT UCS_CONTROL_OBJECT VPORT_CONTROL_OBJECT APPID_CONTROL_OBJECT "
     "DIMSTYLE_CONTROL_OBJECT"},
    {Code::Ref, kAll, "DICTIONARY_GROUP DICTIONARY_MLINESTYLE DICTIONARY_NAMED_OBJECT"},
    {Code::BS, kAll, "TSTACKALIGN TSTACKSIZE"},
    {Code::TV, k18, "HYPERLINKBASE STYLESHEET"},
    {Code::Ref, kAll,
     "DICTIONARY_LAYOUT DICTIONARY_PLOTSETTINGS DICTIONARY_PLOTSTYLENAME DICTIONARY_MATERIAL "
     "DICTIONARY_COLOR"},
    {Code::Ref, k24up, "DICTIONARY_VISUALSTYLE"},
    {Code::Ref, k27up, "unknown_20"},
    {Code::BL, kAll, "FLAGS"},
    {Code::BS, kAll, "INSUNITS"},
    {Code::PlotStyleType, kAll, "CEPSNTYPE"},
    {Code::PlotStyle, kAll, "CPSNID"},
    {Code::TV, k18, "FINGERPRINTGUID VERSIONGUID"},
    {Code::RC, kAll, "SORTENTS INDEXCTL HIDETEXT XCLIPFRAME DIMASSOC HALOGAP"},
    {Code::BS, kAll, "OBSCOLOR INTERSECTIONCOLOR"},
    {Code::RC, kAll, "OBSLTYPE INTERSECTIONDISPLAY"},
    {Code::TV, k18, "PROJECTNAME"},
    {Code::Ref, kAll,
     "BLOCK_RECORD_PSPACE BLOCK_RECORD_MSPACE LTYPE_BYLAYER LTYPE_BYBLOCK LTYPE_CONTINUOUS"},
    {Code::B, k24up, "CAMERADISPLAY"},
    {Code::BL, k24up, "unknown_21 unknown_22"},
    {Code::BD, k24up, "unknown_23 STEPSPERSEC STEPSIZE 3DDWFPREC LENSLENGTH CAMERAHEIGHT"},
    {Code::RC, k24up, "SOLIDHIST SHOWHIST"},
    {Code::BD, k24up, "PSOLWIDTH PSOLHEIGHT LOFTANG1 LOFTANG2 LOFTMAG1 LOFTMAG2"},
    {Code::BS, k24up, "LOFTPARAM"},
    {Code::RC, k24up, "LOFTNORMALS"},
    {Code::BD, k24up, "LATITUDE LONGITUDE NORTHDIRECTION"},
    {Code::BL, k24up, "TIMEZONE"},
    {Code::RC, k24up, "LIGHTGLYPHDISPLAY TILEMODELIGHTSYNCH DWFFRAME DGNFRAME"},
    {Code::B, k24up, "REALWORLDSCALE"},
    {Code::Cmc, k24up, "INTERFERECOLOR"},
    {Code::Ref, k24up, "INTERFEREOBJVS INTERFEREVPVS DRAGVS"},
    {Code::RC, k24up, "CSHADOW"},
    {Code::BD, k24up, "SHADOWPLANELOCATION"},
    {Code::LastBS, kAll, "unknown_54 unknown_55 unknown_56 unknown_57"},
};

// AC1024+: the named texts of the string stream, after the colours' texts.
const char* const kStringTexts[] = {"unit1_name",  "unit2_name",    "unit3_name", "unit4_name",
                                    "MENU",        "DIMPOST",       "DIMAPOST",   "DIMALTMZS",
                                    "DIMMZS",      "HYPERLINKBASE", "STYLESHEET", "FINGERPRINTGUID",
                                    "VERSIONGUID", "PROJECTNAME"};
constexpr std::size_t kStringTextCount = sizeof kStringTexts / sizeof kStringTexts[0];

const char* const kValueName = "HYPERLINKBASE";

bool inStream(Code code, unsigned version, Stream stream) {
    if (version == k18)
        return stream == Stream::kMain;
    const bool handles = code == Code::Ref || code == Code::PlotStyle || code == Code::LastBS;
    return handles == (stream == Stream::kHandles);
}

// Reads one variable `name` of `code`. False when it is not there (a plot style handle the
// plot style type does not bring).
bool readVariable(BitReader& in, Code code, std::string_view name, Walk& w) {
    switch (code) {
    case Code::B:
        in.b();
        break;
    case Code::BS:
    case Code::LastBS:
        in.bs();
        break;
    case Code::PlotStyleType:
        w.plotStyleType = in.bs();
        break;
    case Code::BL:
        in.bl();
        break;
    case Code::BLL:
        in.bll();
        break;
    case Code::BD:
        in.bd();
        break;
    case Code::RC:
        in.rc();
        break;
    case Code::RD2:
        in.rd2();
        break;
    case Code::BD3:
        in.bd3();
        break;
    case Code::TimeBll:
        in.timebll();
        break;
    case Code::Cmc: {
        const Color c = in.cmc(w.version == k18);
        if (w.version != k18 && (c.flags & 1))
            w.colorTexts.push_back(std::string(name) + ".name");
        if (w.version != k18 && (c.flags & 2))
            w.colorTexts.push_back(std::string(name) + ".book");
        break;
    }
    case Code::PlotStyle:
        if (w.plotStyleType != 3)
            return false;
        in.h();
        break;
    case Code::Handle:
    case Code::Ref:
        in.h();
        break;
    case Code::TV:
        in.tv();
        break;
    }
    return true;
}

} // namespace

unsigned versionBit(const std::string& version) {
    return version == "AC1018"   ? k18
           : version == "AC1024" ? k24
           : version == "AC1027" ? k27
           : version == "AC1032" ? k32
                                 : 0;
}

bool walkRows(BitReader& in, Stream stream, Walk& w) {
    for (const Row& row : kRows) {
        if (!(row.versions & w.version) || !inStream(row.code, w.version, stream))
            continue;
        for (const char* p = row.names; *p;) {
            const char* end = std::strchr(p, ' ');
            const std::string_view name(p, end ? end - p : std::strlen(p));
            p += name.size() + (end ? 1 : 0);
            const std::uint64_t begin = in.position();
            if (!readVariable(in, row.code, name, w))
                continue;
            if (!in.ok())
                return false;
            if (w.variables)
                w.variables->push_back(HeaderVariable{std::string(name), begin, in.position()});
            if (row.code == Code::TV && name == kValueName) {
                w.sawValue = true;
                w.valueBegin = begin;
                w.valueEnd = in.position();
            }
        }
    }
    return in.ok();
}

bool walkStrings(BitReader& in, std::vector<std::pair<std::uint64_t, std::uint64_t>>& texts) {
    texts.clear();
    while (in.left() > 0) {
        const std::uint64_t begin = in.position();
        in.tu();
        if (!in.ok() || texts.size() == kMaxStringTexts)
            return false; // no header holds more: the colours' texts and the named ones
        texts.emplace_back(begin, in.position());
    }
    return texts.size() >= kStringTextCount;
}

std::vector<std::string> stringTextNames(const Walk& w) {
    std::vector<std::string> names = w.colorTexts;
    names.insert(names.end(), kStringTexts, kStringTexts + kStringTextCount);
    return names;
}

} // namespace header
} // namespace dwg
} // namespace minihost
