#pragma once
// HXScriptCommand: one script command on its way to a handler: its name, the direct parameter and the
// evaluated arguments (object specifiers in them already resolved to objects), and the script error a
// handler reports by setting a number and a text.
//
// Error numbers the runtime itself reports; handlers add their own (-50 bad parameter, -48 the file
// exists, ...).
#include "platform/basekit/scripting_object.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

enum HXScriptErrorNumber : int {
    HXScriptNoError = 0,
    HXScriptParameterError = -50, // a value that cannot be used
    HXScriptCoercionError = -1700, // a value of the wrong kind that cannot be converted
    HXScriptMissingParameterError = -1701,
    HXScriptNotHandledError = -1708, // the object does not understand the command
    HXScriptMalformedRequestError = -1723, // the request itself is no request
    HXScriptNoSuchObjectError = -1728, // the specifier names nothing
    HXScriptFailedError = -10000, // the handler could not do it
    HXScriptReadOnlyError = -10006, // the property cannot be set (or the elements not changed)
};

class HXScriptCommand {
public:
    explicit HXScriptCommand(std::string name = {})
        : _name(std::move(name))
    {
    }

    const std::string& name() const { return _name; }

    const HXScriptValue& directParameter() const { return _directParameter; }
    void setDirectParameter(HXScriptValue value) { _directParameter = std::move(value); }
    const std::map<std::string, HXScriptValue>& evaluatedArguments() const { return _arguments; }
    void setEvaluatedArguments(std::map<std::string, HXScriptValue> arguments) { _arguments = std::move(arguments); }
    void setArgument(const std::string& key, HXScriptValue value) { _arguments[key] = std::move(value); }
    // The argument under `key`, missing when absent.
    const HXScriptValue& argument(const std::string& key) const;
    bool hasArgument(const std::string& key) const { return !argument(key).isMissing(); }

    // An argument converted by the shared coercion handler. Absent: nothing. Present but not
    // convertible: nothing, and the command fails with HXScriptCoercionError naming the key.
    std::optional<int64_t> integerArgument(const std::string& key);
    std::optional<double> realArgument(const std::string& key);
    std::optional<bool> booleanArgument(const std::string& key);
    std::optional<std::string> stringArgument(const std::string& key);
    std::optional<uint32_t> codeArgument(const std::string& key);

    // The folder of the program that sent the request: relative paths in it are taken from there (empty:
    // the player's own working folder).
    const std::string& directory() const { return _directory; }
    void setDirectory(std::string directory) { _directory = std::move(directory); }
    // A path given by the script as an absolute one: "~" starts at the home folder, a relative path at
    // directory(); empty stays empty.
    std::string absolutePath(const std::string& path) const;

    // Work that takes long reports how far it is (0...1, or a negative number when it cannot tell): the
    // handler installed by the transport tells the script's program, which then keeps waiting.
    void setProgressHandler(std::function<void(double fraction)> handler) { _progressHandler = std::move(handler); }
    void noteProgress(double fraction) const
    {
        if (_progressHandler)
            _progressHandler(fraction);
    }

    // Suspension: a handler that cannot answer before it returns suspends the command and answers later
    // by calling the function it got (once) with the result; an error set on the command before that call
    // is the answer instead. Dropping the function without calling it answers an error. Only while the
    // runtime offers it (canSuspend()); otherwise the function is empty and the command answers at once.
    using Resumption = std::function<void(HXScriptValue result)>;
    bool canSuspend() const { return bool(_resumption); }
    Resumption suspendExecution();
    bool isSuspended() const { return _suspended; }
    // Used by the runtime: what a suspension hands out.
    void setResumption(Resumption resumption) { _resumption = std::move(resumption); }

    int scriptErrorNumber() const { return _errorNumber; }
    const std::string& scriptErrorString() const { return _errorString; }
    void setScriptErrorNumber(int number) { _errorNumber = number; }
    void setScriptErrorString(std::string text) { _errorString = std::move(text); }
    void fail(int number, std::string text)
    {
        _errorNumber = number;
        _errorString = std::move(text);
    }
    bool failed() const { return _errorNumber != HXScriptNoError; }

    // The command the scripting runtime is carrying out now, or nullptr: code far below a handler (the open
    // routes, say) reports a failure to it instead of showing it to a user who is not there.
    static HXScriptCommand* currentCommand();
    // Makes `command` the current command for the scope's life (scopes nest).
    class CurrentScope {
    public:
        explicit CurrentScope(HXScriptCommand& command);
        ~CurrentScope();
        CurrentScope(const CurrentScope&) = delete;
        CurrentScope& operator=(const CurrentScope&) = delete;

    private:
        HXScriptCommand* _previous;
    };

private:
    std::optional<HXScriptValue> coercedArgument(const std::string& key, const std::string& type);

    std::string _name;
    HXScriptValue _directParameter;
    std::map<std::string, HXScriptValue> _arguments;
    int _errorNumber = HXScriptNoError;
    std::string _errorString;
    std::string _directory;
    std::function<void(double)> _progressHandler;
    Resumption _resumption;
    bool _suspended = false;
};
