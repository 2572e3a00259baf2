#pragma once
// HXUserDefaults: the user's preferences as property-list values under string keys.
//
// Lookups search the application's persistent domain, then the registration domain. The persistent
// domain of an identifier lives in "$XDG_CONFIG_HOME/movara-player/<identifier>.plist" (an XML property
// list, written atomically by synchronize()). A file that cannot be parsed is renamed aside to
// "<identifier>.plist.corrupt-<timestamp>" (never deleted) and the program starts on its defaults.
// A file that exists but cannot be read (permissions, I/O) is left alone and never overwritten.
// A store with an autosave delay writes its changes on the main run loop that long after the first change
// not yet on disk, so a crash or a kill loses at most that much. All members may be called from any thread.
#include "platform/basekit/property_list.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

class HXError;

class HXUserDefaults {
public:
    // The application's defaults: identifier from the main bundle ("HFBundleIdentifier"), else
    // HXUserDefaults::defaultIdentifier; folder HXUserDefaults::defaultsFolder(). Unsaved changes are
    // written when the program exits normally (and sooner with an autosave delay).
    static HXUserDefaults& standardUserDefaults();
    static constexpr const char* defaultIdentifier = "com.zantrel.movara.player";
    // "$XDG_CONFIG_HOME/movara-player" ("~/.config/movara-player" when the variable is unset or relative).
    static std::string defaultsFolder();

    // A separate store (tools and tests): `identifier`'s domain in `folder`.
    HXUserDefaults(std::string folder, std::string identifier);
    ~HXUserDefaults();
    HXUserDefaults(const HXUserDefaults&) = delete;
    HXUserDefaults& operator=(const HXUserDefaults&) = delete;

    const std::string& identifier() const { return _identifier; }
    const std::string& folder() const { return _folder; }
    // Where the domain `name` is stored.
    std::string pathForDomain(const std::string& name) const;

    // Reads. A missing key gives Null / the type's zero value. stringForKey also gives the text of a
    // number; the number readers parse strings; arrayForKey / dictionaryForKey give empty containers
    // for values of other types.
    HXPropertyList objectForKey(const std::string& key) const;
    std::string stringForKey(const std::string& key) const;
    int64_t integerForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;
    HXData dataForKey(const std::string& key) const;
    HXPropertyList::Array arrayForKey(const std::string& key) const;
    HXPropertyList::Dictionary dictionaryForKey(const std::string& key) const;

    // Writes go to the application's persistent domain. A Null value removes the key.
    void setObject(const HXPropertyList& value, const std::string& key);
    void setString(const std::string& value, const std::string& key)
    {
        setObject(HXPropertyList(value), key);
    }
    void setInteger(int64_t value, const std::string& key) { setObject(HXPropertyList(value), key); }
    void setDouble(double value, const std::string& key) { setObject(HXPropertyList(value), key); }
    void setFloat(float value, const std::string& key) { setObject(HXPropertyList(double(value)), key); }
    void setBool(bool value, const std::string& key) { setObject(HXPropertyList(value), key); }
    void setData(const HXData& value, const std::string& key) { setObject(HXPropertyList(value), key); }
    void removeObjectForKey(const std::string& key);

    // The registration domain: fallbacks, never written to disk. Later registrations replace
    // earlier values of the same keys.
    void registerDefaults(const HXPropertyList::Dictionary& defaults);
    HXPropertyList::Dictionary registrationDomain() const;

    // Every key visible through objectForKey, with the value it gives.
    HXPropertyList::Dictionary dictionaryRepresentation() const;

    // Writes every changed domain atomically, then takes in changes other processes made to domains
    // this store has not changed. False (with `error`) when a write failed; the changes stay pending.
    bool synchronize(HXError* error = nullptr);

    // Seconds between the first unsaved change and its write (by synchronize on the main run loop); the
    // changes made meanwhile go out in the same write. 0 (the default of a separate store) writes only
    // when synchronize is called.
    void setAutosaveDelay(double seconds);
    double autosaveDelay() const;

    // Persistent domains by name (the application's own identifier included). An absent domain is
    // an empty dictionary. setPersistentDomain replaces the domain; it is written by synchronize().
    HXPropertyList::Dictionary persistentDomainForName(const std::string& name) const;
    void setPersistentDomain(const HXPropertyList::Dictionary& domain, const std::string& name);
    void removePersistentDomainForName(const std::string& name);

private:
    struct Domain;
    Domain& domainLocked(const std::string& name) const;
    bool writeDomainLocked(const std::string& name, Domain& domain, HXError* error);
    HXPropertyList lookupLocked(const std::string& key) const;
    void noteChangeLocked();
    void scheduleAutosave(double delay);

    std::string _folder;
    std::string _identifier;
    mutable std::mutex _mutex;
    HXPropertyList::Dictionary _registration;
    mutable std::map<std::string, std::unique_ptr<Domain>> _domains;
    double _autosaveDelay = 0;
    bool _autosaveScheduled = false;
    // Watched by autosaves still queued when the store goes away.
    std::shared_ptr<int> _alive = std::make_shared<int>(0);
};
