#include "platform/winkit/printers.h"

#include <cups/cups.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Seconds we wait for the scheduler: connecting, then each answer.
constexpr int kConnectMilliseconds = 3000;
constexpr double kAnswerSeconds = 15;

constexpr double kPointsPerHundredthMillimetre = 72.0 / 2540.0;

struct HTTPClose {
    void operator()(http_t* http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, HTTPClose>;

struct DestFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
using Destination = std::unique_ptr<cups_dest_t, DestFree>;

struct InfoFree {
    void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
using DestinationInfo = std::unique_ptr<cups_dinfo_t, InfoFree>;

// A connection of our own to the scheduler, so that a scheduler that does not answer makes us wait a few
// seconds, not indefinitely.
Connection connect()
{
    // The scheduler's address is read afresh each time: the environment or client.conf may name another.
    cupsSetServer(nullptr);
    const char* server = cupsServer();
    if (!server || !*server)
        return nullptr;
    http_t* http = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectMilliseconds,
        nullptr);
    if (http)
        httpSetTimeout(http, kAnswerSeconds, nullptr, nullptr);
    return Connection(http);
}

HXError printError(const std::string& text)
{
    return HXError::withDescription(HXPrintErrorDomain, int64_t(cupsLastError()), text);
}

// A name to show for a standard (PWG) paper name "class_name_dimensions": "iso_a2_420x594mm" is "A2",
// "na_govt-letter_8x10in" is "Govt Letter"; empty for a name of another form.
std::string nameForStandardName(const std::string& pwg)
{
    size_t first = pwg.find('_'), last = pwg.rfind('_');
    if (first == std::string::npos || last == first)
        return {};
    std::string kind = pwg.substr(0, first), name = pwg.substr(first + 1, last - first - 1);
    if (name.empty())
        return {};
    if (kind == "iso" || kind == "jis") {
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        return kind == "jis" ? "JIS " + name : name;
    }
    if (kind != "na")
        return {};
    bool start = true;
    for (char& c : name) {
        if (c == '-') {
            c = ' ';
            start = true;
        } else if (start) {
            c = char(std::toupper(static_cast<unsigned char>(c)));
            start = false;
        }
    }
    return name;
}

// The paper of a size the scheduler reports. A size without margins comes as "<paper>_borderless": the
// paper is the same. Names of papers we know are ours ("A4"), others the scheduler's.
HXPrinterPaper paperFromSize(const cups_size_t& size, const char* localized)
{
    HXPrinterPaper paper;
    paper.name = size.media;
    const std::string borderless = "_borderless";
    if (paper.name.size() > borderless.size()
        && paper.name.compare(paper.name.size() - borderless.size(), borderless.size(), borderless) == 0)
        paper.name.erase(paper.name.size() - borderless.size());
    const auto& standard = HXPrinter::standardPapers();
    auto known = std::find_if(
        standard.begin(), standard.end(), [&](const HXPrinterPaper& p) { return p.name == paper.name; });
    if (known != standard.end()) {
        paper.displayName = known->displayName;
    } else if (auto standardName = nameForStandardName(paper.name); !standardName.empty()) {
        paper.displayName = standardName;
    } else {
        paper.displayName = localized && *localized ? localized : paper.name;
        auto mark = paper.displayName.find(" (Borderless)");
        if (mark != std::string::npos)
            paper.displayName.erase(mark);
    }
    paper.size = { size.width * kPointsPerHundredthMillimetre, size.length * kPointsPerHundredthMillimetre };
    paper.leftMargin = size.left * kPointsPerHundredthMillimetre;
    paper.bottomMargin = size.bottom * kPointsPerHundredthMillimetre;
    paper.rightMargin = size.right * kPointsPerHundredthMillimetre;
    paper.topMargin = size.top * kPointsPerHundredthMillimetre;
    return paper;
}

struct OpenDestination {
    Connection http;
    Destination dest;
    DestinationInfo info;
};

std::optional<OpenDestination> openDestination(const std::string& printer)
{
    OpenDestination open;
    open.http = connect();
    if (!open.http || printer.empty())
        return std::nullopt;
    open.dest.reset(cupsGetNamedDest(open.http.get(), printer.c_str(), nullptr));
    if (!open.dest)
        return std::nullopt;
    open.info.reset(cupsCopyDestInfo(open.http.get(), open.dest.get()));
    return open;
}

} // namespace

std::vector<std::string> HXPrinter::printerNames()
{
    std::vector<std::string> names;
    auto http = connect();
    if (!http)
        return names;
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    static const char* const attributes[] = { "printer-name" };
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 1, nullptr, attributes);
    ipp_t* response = cupsDoRequest(http.get(), request, "/");
    for (ipp_attribute_t* a = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); a;
         a = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME)) {
        if (const char* name = ippGetString(a, 0, nullptr))
            names.emplace_back(name);
    }
    ippDelete(response);
    std::sort(names.begin(), names.end());
    const char* fallback = cupsGetDefault2(http.get());
    std::string preferred = fallback ? fallback : "";
    auto it = std::find(names.begin(), names.end(), preferred);
    if (it != names.end())
        std::rotate(names.begin(), it, it + 1);
    return names;
}

std::string HXPrinter::defaultPrinterName()
{
    // The user's choice (LPDEST, PRINTER) first, else the scheduler's.
    auto http = connect();
    const char* name = http ? cupsGetDefault2(http.get()) : nullptr;
    return name ? name : "";
}

const std::vector<HXPrinterPaper>& HXPrinter::standardPapers()
{
    static const std::vector<HXPrinterPaper> papers = {
        { "na_letter_8.5x11in", "US Letter", { 612, 792 } },
        { "na_legal_8.5x14in", "US Legal", { 612, 1008 } },
        { "na_ledger_11x17in", "Tabloid", { 792, 1224 } },
        { "iso_a3_297x420mm", "A3", { 842, 1191 } },
        { "iso_a4_210x297mm", "A4", { 595, 842 } },
        { "iso_a5_148x210mm", "A5", { 420, 595 } },
        { "iso_b5_176x250mm", "B5", { 499, 709 } },
        { "na_number-10_4.125x9.5in", "Envelope #10", { 297, 684 } },
        { "iso_dl_110x220mm", "Envelope DL", { 312, 624 } },
    };
    return papers;
}

HXPrinterPaper HXPrinter::localePaper()
{
    // The regions that use Letter; everyone else uses A4.
    const char* locale = std::getenv("LC_PAPER");
    if (!locale || !*locale)
        locale = std::getenv("LC_ALL");
    if (!locale || !*locale)
        locale = std::getenv("LANG");
    std::string name = locale ? locale : "";
    bool letter = false;
    for (const char* region : { "_US", "_CA", "_MX", "_PH", "_CL", "_CO", "_VE", "_PR" })
        letter = letter || name.find(region) != std::string::npos;
    const auto& papers = standardPapers();
    return letter ? papers[0] : papers[4];
}

std::vector<HXPrinterPaper> HXPrinter::papers(const std::string& printer)
{
    std::vector<HXPrinterPaper> result;
    auto open = openDestination(printer);
    if (!open || !open->info)
        return result;
    http_t* http = open->http.get();
    cups_dest_t* dest = open->dest.get();
    cups_dinfo_t* info = open->info.get();
    int count = cupsGetDestMediaCount(http, dest, info, CUPS_MEDIA_FLAGS_DEFAULT);
    for (int i = 0; i < count; ++i) {
        cups_size_t size;
        if (!cupsGetDestMediaByIndex(http, dest, info, i, CUPS_MEDIA_FLAGS_DEFAULT, &size))
            continue;
        // Custom sizes come as ranges ("custom_min_..."): not a paper to choose.
        if (std::strncmp(size.media, "custom_", 7) == 0 || size.width <= 0 || size.length <= 0)
            continue;
        auto paper = paperFromSize(size, cupsLocalizeDestMedia(http, dest, info, CUPS_MEDIA_FLAGS_DEFAULT, &size));
        bool seen = std::any_of(
            result.begin(), result.end(), [&](const HXPrinterPaper& p) { return p.name == paper.name; });
        if (!seen)
            result.push_back(std::move(paper));
    }
    cups_size_t preferred;
    if (cupsGetDestMediaDefault(http, dest, info, CUPS_MEDIA_FLAGS_DEFAULT, &preferred)) {
        std::string name = paperFromSize(preferred, nullptr).name;
        auto it = std::find_if(result.begin(), result.end(), [&](const HXPrinterPaper& p) { return p.name == name; });
        if (it != result.end())
            std::rotate(result.begin(), it, it + 1);
    }
    return result;
}

HXPrintDocumentFormat HXPrinter::documentFormat(const std::string& printer)
{
    auto open = openDestination(printer);
    if (!open || !open->info)
        return HXPrintDocumentFormat::PDF;
    auto supports = [&](const char* type) {
        return cupsCheckDestSupported(open->http.get(), open->dest.get(), open->info.get(), "document-format", type) != 0;
    };
    if (!supports("application/pdf") && supports("application/postscript"))
        return HXPrintDocumentFormat::PostScript;
    return HXPrintDocumentFormat::PDF;
}

int HXPrinter::printFile(const std::string& printer, const std::string& path, HXPrintDocumentFormat format,
    const std::string& title, int copies, HXError* error)
{
    auto fail = [error](const std::string& text) {
        if (error)
            *error = printError(text);
        return 0;
    };
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (error)
            *error = HXError::posix(errno, path);
        return 0;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> closer(file, &std::fclose);
    auto open = openDestination(printer);
    if (!open)
        return fail("The printer \u201C" + printer + "\u201D cannot be reached.");
    if (!open->info)
        return fail(std::string("The printer \u201C") + printer + "\u201D does not answer: " + cupsLastErrorString());
    http_t* http = open->http.get();
    cups_dest_t* dest = open->dest.get();
    cups_dinfo_t* info = open->info.get();

    int optionCount = 0;
    cups_option_t* options = nullptr;
    optionCount = cupsAddOption("copies", std::to_string(std::max(1, copies)).c_str(), optionCount, &options);
    int job = 0;
    ipp_status_t status = cupsCreateDestJob(http, dest, info, &job, title.c_str(), optionCount, options);
    cupsFreeOptions(optionCount, options);
    if (status > IPP_STATUS_OK_CONFLICTING || job <= 0)
        return fail(std::string("The printer refused the job: ") + cupsLastErrorString());

    const char* type = format == HXPrintDocumentFormat::PDF ? CUPS_FORMAT_PDF : CUPS_FORMAT_POSTSCRIPT;
    if (cupsStartDestDocument(http, dest, info, job, title.c_str(), type, 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
        std::string reason = cupsLastErrorString();
        cupsCancelDestJob(http, dest, job);
        return fail("The document could not be sent to the printer: " + reason);
    }
    char buffer[65536];
    bool written = true;
    size_t n;
    while (written && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        written = cupsWriteRequestData(http, buffer, n) == HTTP_STATUS_CONTINUE;
    bool readFailed = std::ferror(file) != 0;
    status = cupsFinishDestDocument(http, dest, info);
    if (!written || readFailed || status > IPP_STATUS_OK_CONFLICTING) {
        std::string reason = readFailed ? std::string("the document could not be read") : cupsLastErrorString();
        cupsCancelDestJob(http, dest, job);
        return fail("The document could not be sent to the printer: " + reason);
    }
    return job;
}
