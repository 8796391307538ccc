#include "minihost/drawing/dwg/ac1015/ac1015_header_vars.h"

#include <cstring>

namespace minihost {
namespace dwg {
namespace ac1015 {
namespace {

enum class Code : std::uint8_t {
    B,
    BS,
    BL,
    BD,
    RC,
    RD2,
    BD3,
    TimeBll,
    TV,
    H,
    NamedObjects,  // the H the walk is for
    PlotStyleType, // a BS: the value 3 brings the handle PlotStyle
    PlotStyle,
};

constexpr unsigned k15 = 1, k14 = 2, kBoth = k15 | k14;

// Variables of one code in one set of layouts, names separated by blanks. Rows after the
// named-object dictionary are read only to the end.
struct Row {
    Code code;
    unsigned layouts;
    const char* names;
};

const Row kRows[] = {
    {Code::BD, kBoth, "unit1_ratio unit2_ratio unit3_ratio unit4_ratio"},
    {Code::TV, kBoth, "unit1_name unit2_name unit3_name unit4_name"},
    {Code::BL, kBoth, "unknown_8 unknown_9"},
    {Code::BS, k14, "unknown_10"},
    {Code::H, kBoth, "VX_TABLE_RECORD"},
    {Code::B, k15,
     "DIMASO DIMSHO PLINEGEN ORTHOMODE REGENMODE FILLMODE QTEXTMODE PSLTSCALE LIMCHECK USRTIMER "
     "SKPOLY ANGDIR SPLFRAME MIRRTEXT WORLDVIEW TILEMODE PLIMCHECK VISRETAIN DISPSILH PELLIPSE"},
    {Code::BS, k15, "PROXYGRAPHICS TREEDEPTH LUNITS LUPREC AUNITS AUPREC ATTMODE PDMODE"},
    {Code::B, k14,
     "DIMASO DIMSHO DIMSAV PLINEGEN ORTHOMODE REGENMODE FILLMODE QTEXTMODE PSLTSCALE LIMCHECK "
     "BLIPMODE USRTIMER SKPOLY ANGDIR SPLFRAME ATTREQ ATTDIA MIRRTEXT WORLDVIEW WIREFRAME "
     "TILEMODE PLIMCHECK VISRETAIN DELOBJ DISPSILH PELLIPSE"},
    {Code::BS, k14,
     "PROXYGRAPHICS DRAGMODE TREEDEPTH LUNITS LUPREC AUNITS AUPREC OSMODE ATTMODE COORDS PDMODE "
     "PICKSTYLE"},
    {Code::BS, kBoth,
     "USERI1 USERI2 USERI3 USERI4 USERI5 SPLINESEGS SURFU SURFV SURFTYPE SURFTAB1 SURFTAB2 "
     "SPLINETYPE SHADEDGE SHADEDIF UNITMODE MAXACTVP ISOLINES CMLJUST TEXTQLTY"},
    {Code::BD, kBoth,
     "LTSCALE TEXTSIZE TRACEWID SKETCHINC FILLETRAD THICKNESS ANGBASE PDSIZE PLINEWID USERR1 "
     "USERR2 USERR3 USERR4 USERR5 CHAMFERA CHAMFERB CHAMFERC CHAMFERD FACETRES CMLSCALE "
     "CELTSCALE"},
    {Code::TV, kBoth, "MENU"},
    {Code::TimeBll, kBoth, "TDUCREATE TDUUPDATE TDINDWG TDUSRTIMER"},
    {Code::BS, kBoth, "CECOLOR"}, // a colour is its index alone in these versions
    {Code::H, kBoth, "HANDSEED CLAYER TEXTSTYLE CELTYPE DIMSTYLE CMLSTYLE"},
    {Code::BD, k15, "PSVPSCALE"},
    {Code::BD3, kBoth, "PINSBASE PEXTMIN PEXTMAX"},
    {Code::RD2, kBoth, "PLIMMIN PLIMMAX"},
    {Code::BD, kBoth, "PELEVATION"},
    {Code::BD3, kBoth, "PUCSORG PUCSXDIR PUCSYDIR"},
    {Code::H, kBoth, "PUCSNAME"},
    {Code::H, k15, "PUCSORTHOREF"},
    {Code::BS, k15, "PUCSORTHOVIEW"},
    {Code::H, k15, "PUCSBASE"},
    {Code::BD3, k15, "PUCSORGTOP PUCSORGBOTTOM PUCSORGLEFT PUCSORGRIGHT PUCSORGFRONT PUCSORGBACK"},
    {Code::BD3, kBoth, "INSBASE EXTMIN EXTMAX"},
    {Code::RD2, kBoth, "LIMMIN LIMMAX"},
    {Code::BD, kBoth, "ELEVATION"},
    {Code::BD3, kBoth, "UCSORG UCSXDIR UCSYDIR"},
    {Code::H, kBoth, "UCSNAME"},
    {Code::H, k15, "UCSORTHOREF"},
    {Code::BS, k15, "UCSORTHOVIEW"},
    {Code::H, k15, "UCSBASE"},
    {Code::BD3, k15, "UCSORGTOP UCSORGBOTTOM UCSORGLEFT UCSORGRIGHT UCSORGFRONT UCSORGBACK"},
    // AC1015's dimension variables.
    {Code::TV, k15, "DIMPOST DIMAPOST"},
    {Code::BD, k15, "DIMSCALE DIMASZ DIMEXO DIMDLI DIMEXE DIMRND DIMDLE DIMTP DIMTM"},
    {Code::B, k15, "DIMTOL DIMLIM DIMTIH DIMTOH DIMSE1 DIMSE2"},
    {Code::BS, k15, "DIMTAD DIMZIN DIMAZIN"},
    {Code::BD, k15, "DIMTXT DIMCEN DIMTSZ DIMALTF DIMLFAC DIMTVP DIMTFAC DIMGAP DIMALTRND"},
    {Code::B, k15, "DIMALT"},
    {Code::BS, k15, "DIMALTD"},
    {Code::B, k15, "DIMTOFL DIMSAH DIMTIX DIMSOXD"},
    {Code::BS, k15, "DIMCLRD DIMCLRE DIMCLRT"},
    {Code::BS, k15,
     "DIMADEC DIMDEC DIMTDEC DIMALTU DIMALTTD DIMAUNIT DIMFRAC DIMLUNIT DIMDSEP DIMTMOVE "
     "DIMJUST"},
    {Code::B, k15, "DIMSD1 DIMSD2"},
    {Code::BS, k15, "DIMTOLJ DIMTZIN DIMALTZ DIMALTTZ"},
    {Code::B, k15, "DIMUPT"},
    {Code::BS, k15, "DIMATFIT"},
    {Code::H, k15, "DIMTXSTY DIMLDRBLK DIMBLK DIMBLK1 DIMBLK2"},
    {Code::BS, k15, "DIMLWD DIMLWE"},
    // AC1014's and AC1012's.
    {Code::B, k14,
     "DIMTOL DIMLIM DIMTIH DIMTOH DIMSE1 DIMSE2 DIMALT DIMTOFL DIMSAH DIMTIX DIMSOXD"},
    {Code::RC, k14, "DIMALTD DIMZIN"},
    {Code::B, k14, "DIMSD1 DIMSD2"},
    {Code::RC, k14, "DIMTOLJ DIMJUST DIMFIT"},
    {Code::B, k14, "DIMUPT"},
    {Code::RC, k14, "DIMTZIN DIMALTZ DIMALTTZ DIMTAD"},
    {Code::BS, k14, "DIMUNIT DIMAUNIT DIMDEC DIMTDEC DIMALTU DIMALTTD"},
    {Code::H, k14, "DIMTXSTY"},
    {Code::BD, k14,
     "DIMSCALE DIMASZ DIMEXO DIMDLI DIMEXE DIMRND DIMDLE DIMTP DIMTM DIMTXT DIMCEN DIMTSZ "
     "DIMALTF DIMLFAC DIMTVP DIMTFAC DIMGAP"},
    {Code::TV, k14, "DIMPOST DIMAPOST DIMBLK DIMBLK1 DIMBLK2"},
    {Code::BS, k14, "DIMCLRD DIMCLRE DIMCLRT"},
    {Code::H, kBoth,
     "BLOCK_CONTROL_OBJECT LAYER_CONTROL_OBJECT STYLE_CONTROL_OBJECT LTYPE_CONTROL_OBJECT "
     "VIEW_CONTROL_OBJECT UCS_CONTROL_OBJECT VPORT_CONTROL_OBJECT APPID_CONTROL_OBJECT "
     "DIMSTYLE_CONTROL_OBJECT VX_CONTROL_OBJECT"},
    {Code::H, kBoth, "DICTIONARY_GROUP DICTIONARY_MLINESTYLE"},
    {Code::NamedObjects, kBoth, "DICTIONARY_NAMED_OBJECT"},
    // Only to the end, to check the tables.
    {Code::BS, k15, "TSTACKALIGN TSTACKSIZE"},
    {Code::TV, k15, "HYPERLINKBASE STYLESHEET"},
    {Code::H, k15, "DICTIONARY_LAYOUT DICTIONARY_PLOTSETTINGS DICTIONARY_PLOTSTYLENAME"},
    {Code::BL, k15, "FLAGS"},
    {Code::BS, k15, "INSUNITS"},
    {Code::PlotStyleType, k15, "CEPSNTYPE"},
    {Code::PlotStyle, k15, "CPSNID"},
    {Code::TV, k15, "FINGERPRINTGUID VERSIONGUID"},
    {Code::H, kBoth,
     "BLOCK_RECORD_PSPACE BLOCK_RECORD_MSPACE LTYPE_BYLAYER LTYPE_BYBLOCK LTYPE_CONTINUOUS"},
    {Code::BS, kBoth, "unknown_54 unknown_55 unknown_56 unknown_57"},
};

std::size_t nameCount(const char* names) {
    std::size_t n = 1;
    for (const char* p = names; *p; ++p)
        n += *p == ' ';
    return n;
}

// Reads one variable of `code`; the plot style handle only when the type read before says so.
void readVariable(BitReader& in, Code code, std::uint16_t& plotStyleType, HeaderWalk& out) {
    switch (code) {
    case Code::B:
        in.b();
        break;
    case Code::BS:
        in.bs();
        break;
    case Code::PlotStyleType:
        plotStyleType = in.bs();
        break;
    case Code::BL:
        in.bl();
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
    case Code::TV:
        in.tv();
        break;
    case Code::H:
        in.h();
        break;
    case Code::NamedObjects:
        out.namedObjects = in.h();
        break;
    case Code::PlotStyle:
        if (plotStyleType == 3)
            in.h();
        break;
    }
}

} // namespace

bool walkHeader(BitReader& in, Layout layout, HeaderWalk& out, bool toEnd) {
    const unsigned mask = layout == Layout::kAC1015 ? k15 : k14;
    std::uint16_t plotStyleType = 0;
    for (const Row& row : kRows) {
        if (!(row.layouts & mask))
            continue;
        for (std::size_t i = nameCount(row.names); i > 0; --i)
            readVariable(in, row.code, plotStyleType, out);
        if (!in.ok())
            return false;
        if (row.code == Code::NamedObjects && !toEnd)
            return true;
    }
    out.tailEnd = in.position();
    return true;
}

} // namespace ac1015
} // namespace dwg
} // namespace minihost
