#include "platform/basekit/user_defaults.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/error.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/strings.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include <sys/stat.h>

struct HXUserDefaults::Domain {
    HXPropertyList::Dictionary values;
    bool dirty = false;
    // False when the file exists but could not be read: it is then never replaced.
    bool writable = true;
    std::string readFailure;
    // Identity of the file as last read or written, to notice changes made by other processes.
    bool haveStamp = false;
    ino_t inode = 0;
    timespec modified {};
    off_t size = 0;
};

namespace {

struct Stamp {
    bool exists = false;
    ino_t inode = 0;
    timespec modified {};
    off_t size = 0;
};

Stamp stampOf(const std::string& path)
{
    struct stat st;
    Stamp s;
    if (::stat(path.c_str(), &st) == 0) {
        s.exists = true;
        s.inode = st.st_ino;
        s.modified = st.st_mtim;
        s.size = st.st_size;
    }
    return s;
}

// Moves a file that cannot be parsed out of the way, keeping it for the user. The name tells when.
bool setAside(const std::string& path)
{
    std::time_t now = std::time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string base = path + ".corrupt-" + stamp;
    std::string target = base;
    struct stat st;
    for (int n = 2; ::lstat(target.c_str(), &st) == 0 && n < 1000; ++n)
        target = base + "-" + std::to_string(n);
    if (::rename(path.c_str(), target.c_str()) != 0) {
        HXLog("The preferences file " + path + " is damaged and could not be set aside: "
            + HXError::posix(errno).localizedDescription() + ". It is left as it is.");
        return false;
    }
    HXLog("The preferences file " + path + " is damaged; it was set aside as " + target
        + " and the defaults are used.");
    return true;
}

} // namespace

HXUserDefaults& HXUserDefaults::standardUserDefaults()
{
    // Never destroyed: other objects may still read preferences while the program exits. Pending
    // changes are written by an exit handler instead.
    static HXUserDefaults* defaults = [] {
        std::string identifier;
        if (auto bundle = HXBundle::mainBundle())
            identifier = bundle->bundleIdentifier();
        if (identifier.empty())
            identifier = defaultIdentifier;
        auto* d = new HXUserDefaults(defaultsFolder(), identifier);
        std::atexit([] { standardUserDefaults().synchronize(); });
        return d;
    }();
    return *defaults;
}

std::string HXUserDefaults::defaultsFolder()
{
    return HXUserConfigDirectory();
}

HXUserDefaults::HXUserDefaults(std::string folder, std::string identifier)
    : _folder(std::move(folder))
    , _identifier(std::move(identifier))
{
}

HXUserDefaults::~HXUserDefaults()
{
    if (_autosaveScheduled && HXRunLoop::isMainThread())
        HXRunLoop::main().cancelPerformRequests(this);
}

void HXUserDefaults::setAutosaveDelay(double seconds)
{
    std::lock_guard lock(_mutex);
    _autosaveDelay = seconds > 0 ? seconds : 0;
}

double HXUserDefaults::autosaveDelay() const
{
    std::lock_guard lock(_mutex);
    return _autosaveDelay;
}

void HXUserDefaults::noteChangeLocked()
{
    if (_autosaveDelay <= 0 || _autosaveScheduled)
        return;
    // The first change waiting for the disk sets the date; later ones ride along, so a steady stream of
    // changes is still written every delay.
    _autosaveScheduled = true;
    double delay = _autosaveDelay;
    if (HXRunLoop::isMainThread()) {
        scheduleAutosave(delay);
        return;
    }
    std::weak_ptr<int> alive = _alive;
    HXRunLoop::performOnMainThread([this, alive, delay] {
        if (!alive.expired())
            scheduleAutosave(delay);
    });
}

// Called with the store unlocked or with its lock held: it does not take the lock itself.
void HXUserDefaults::scheduleAutosave(double delay)
{
    std::weak_ptr<int> alive = _alive;
    HXRunLoop::main().performAfterDelay(this, "autosave", delay,
        [this, alive] {
            if (alive.expired())
                return;
            {
                std::lock_guard lock(_mutex);
                _autosaveScheduled = false;
            }
            HXError error;
            if (!synchronize(&error))
                HXLog("The preferences could not be saved: " + error.localizedDescription());
        },
        { HXRunLoopCommonModes });
}

std::string HXUserDefaults::pathForDomain(const std::string& name) const
{
    // A name is one file name: no folders, no hidden files.
    std::string safe = name;
    for (char& c : safe)
        if (c == '/' || c == '\0')
            c = '_';
    if (safe.empty() || safe.front() == '.')
        safe = "_" + safe;
    return _folder + "/" + safe + ".plist";
}

HXUserDefaults::Domain& HXUserDefaults::domainLocked(const std::string& name) const
{
    auto it = _domains.find(name);
    if (it != _domains.end())
        return *it->second;
    auto domain = std::make_unique<Domain>();
    std::string path = pathForDomain(name);
    Stamp stamp = stampOf(path);
    HXError error;
    auto value = HXPropertyList::readFromFile(path, &error);
    if (value && value->isDictionary()) {
        domain->values = value->dictionaryValue();
    } else if (value || error.code() == HXPropertyListReadCorruptError) {
        if (!setAside(path)) {
            domain->writable = false;
            domain->readFailure = "The preferences file " + path + " is damaged and could not be set aside.";
        }
        stamp = Stamp {};
    } else if (error.code() != HXFileNoSuchFileError) {
        domain->writable = false;
        domain->readFailure = error.localizedDescription();
        HXLog("The preferences file " + path + " could not be read (" + error.localizedDescription()
            + "); it will not be replaced.");
    }
    if (stamp.exists) {
        domain->haveStamp = true;
        domain->inode = stamp.inode;
        domain->modified = stamp.modified;
        domain->size = stamp.size;
    }
    return *(_domains[name] = std::move(domain));
}

HXPropertyList HXUserDefaults::lookupLocked(const std::string& key) const
{
    const Domain& app = domainLocked(_identifier);
    if (auto it = app.values.find(key); it != app.values.end())
        return it->second;
    if (auto it = _registration.find(key); it != _registration.end())
        return it->second;
    return {};
}

HXPropertyList HXUserDefaults::objectForKey(const std::string& key) const
{
    std::lock_guard lock(_mutex);
    return lookupLocked(key);
}

std::string HXUserDefaults::stringForKey(const std::string& key) const
{
    HXPropertyList value = objectForKey(key);
    if (value.isString())
        return value.stringValue();
    if (value.isNumber())
        return HXString::description(value);
    return {};
}

int64_t HXUserDefaults::integerForKey(const std::string& key) const
{
    return objectForKey(key).integerValue();
}

double HXUserDefaults::doubleForKey(const std::string& key) const
{
    return objectForKey(key).realValue();
}

float HXUserDefaults::floatForKey(const std::string& key) const
{
    return float(objectForKey(key).realValue());
}

bool HXUserDefaults::boolForKey(const std::string& key) const
{
    return objectForKey(key).boolValue();
}

HXData HXUserDefaults::dataForKey(const std::string& key) const
{
    return objectForKey(key).dataValue();
}

HXPropertyList::Array HXUserDefaults::arrayForKey(const std::string& key) const
{
    return objectForKey(key).arrayValue();
}

HXPropertyList::Dictionary HXUserDefaults::dictionaryForKey(const std::string& key) const
{
    return objectForKey(key).dictionaryValue();
}

void HXUserDefaults::setObject(const HXPropertyList& value, const std::string& key)
{
    if (value.isNull()) {
        removeObjectForKey(key);
        return;
    }
    std::lock_guard lock(_mutex);
    Domain& app = domainLocked(_identifier);
    app.values[key] = value;
    app.dirty = true;
    noteChangeLocked();
}

void HXUserDefaults::removeObjectForKey(const std::string& key)
{
    std::lock_guard lock(_mutex);
    Domain& app = domainLocked(_identifier);
    if (app.values.erase(key)) {
        app.dirty = true;
        noteChangeLocked();
    }
}

void HXUserDefaults::registerDefaults(const HXPropertyList::Dictionary& defaults)
{
    std::lock_guard lock(_mutex);
    for (const auto& [key, value] : defaults)
        _registration[key] = value;
}

HXPropertyList::Dictionary HXUserDefaults::registrationDomain() const
{
    std::lock_guard lock(_mutex);
    return _registration;
}

HXPropertyList::Dictionary HXUserDefaults::dictionaryRepresentation() const
{
    std::lock_guard lock(_mutex);
    HXPropertyList::Dictionary all = _registration;
    for (const auto& [key, value] : domainLocked(_identifier).values)
        all[key] = value;
    return all;
}

bool HXUserDefaults::writeDomainLocked(const std::string& name, Domain& domain, HXError* error)
{
    std::string path = pathForDomain(name);
    if (!domain.writable) {
        if (error)
            *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileWriteUnknownError,
                domain.readFailure.empty() ? "The preferences file " + path + " cannot be replaced."
                                           : domain.readFailure);
        return false;
    }
    if (!HXFileManager::defaultManager().createDirectoryAtPath(_folder, true, error))
        return false;
    if (!HXPropertyList(domain.values).writeToFile(path, error))
        return false;
    domain.dirty = false;
    Stamp stamp = stampOf(path);
    domain.haveStamp = stamp.exists;
    domain.inode = stamp.inode;
    domain.modified = stamp.modified;
    domain.size = stamp.size;
    return true;
}

bool HXUserDefaults::synchronize(HXError* error)
{
    std::lock_guard lock(_mutex);
    bool ok = true;
    for (auto& [name, domain] : _domains) {
        if (domain->dirty) {
            HXError failure;
            if (!writeDomainLocked(name, *domain, &failure)) {
                if (ok && error)
                    *error = failure;
                ok = false;
            }
            continue;
        }
        // Unchanged here: take in what another process wrote since.
        std::string path = pathForDomain(name);
        Stamp stamp = stampOf(path);
        bool same = stamp.exists == domain->haveStamp
            && (!stamp.exists
                || (stamp.inode == domain->inode && stamp.size == domain->size
                    && stamp.modified.tv_sec == domain->modified.tv_sec
                    && stamp.modified.tv_nsec == domain->modified.tv_nsec));
        if (same || !domain->writable)
            continue;
        HXError readError;
        auto value = HXPropertyList::readFromFile(path, &readError);
        if (value && value->isDictionary()) {
            domain->values = value->dictionaryValue();
        } else if (!stamp.exists || readError.code() == HXFileNoSuchFileError) {
            domain->values.clear();
        } else if (value || readError.code() == HXPropertyListReadCorruptError) {
            // Damaged by someone else: keep it aside and write back what we hold.
            if (setAside(path)) {
                domain->dirty = true;
                HXError failure;
                if (!writeDomainLocked(name, *domain, &failure)) {
                    if (ok && error)
                        *error = failure;
                    ok = false;
                }
            }
            continue;
        } else {
            continue; // unreadable for now; try again next time
        }
        domain->haveStamp = stamp.exists;
        domain->inode = stamp.inode;
        domain->modified = stamp.modified;
        domain->size = stamp.size;
    }
    return ok;
}

HXPropertyList::Dictionary HXUserDefaults::persistentDomainForName(const std::string& name) const
{
    std::lock_guard lock(_mutex);
    return domainLocked(name).values;
}

void HXUserDefaults::setPersistentDomain(const HXPropertyList::Dictionary& domain, const std::string& name)
{
    std::lock_guard lock(_mutex);
    Domain& d = domainLocked(name);
    d.values.clear();
    for (const auto& [key, value] : domain)
        if (!value.isNull())
            d.values[key] = value;
    d.dirty = true;
    noteChangeLocked();
}

void HXUserDefaults::removePersistentDomainForName(const std::string& name)
{
    std::lock_guard lock(_mutex);
    Domain& d = domainLocked(name);
    d.values.clear();
    d.dirty = true;
    noteChangeLocked();
}
