#include "export/share_quillon_controller.h"

#include "export/password_store.h"
#include "export/publish_window.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/task.h"
#include "platform/basekit/url.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/progress_indicator.h"
#include "platform/winkit/secure_text_field.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <unistd.h>

namespace {

constexpr const char* kInterfaceName = "ShareCastworks";
constexpr const char* kServerNameKey = "QuillonServerName";
constexpr const char* kUserNameKey = "QuillonUserName";
constexpr long kFirstWorkflowItem = 2; // items 0 and 1 come with the interface

std::string& toolPathStorage()
{
    static std::string path = "/usr/bin/quillon";
    return path;
}

std::shared_ptr<HXTextField> label(HXRect frame, const std::string& text = {})
{
    auto field = std::make_shared<HXTextField>(frame);
    field->setEditable(false);
    field->setBezeled(false);
    field->setDrawsBackground(false);
    field->setStringValue(text);
    return field;
}

// The store's item for a server string: its path and port read as a URL, with "https://" put in front
// of a string that is no URL (and that form then names the server).
MVPInternetPasswordItem keychainItem(const std::string& server, const std::string& user)
{
    MVPInternetPasswordItem item;
    item.server = server;
    item.account = user;
    auto url = HXURL::URLWithString(server);
    if (!url || url->scheme().empty()) {
        item.server = "https://" + server;
        url = HXURL::URLWithString(item.server);
    }
    if (url) {
        item.path = url->path();
        item.port = url->port().value_or(0);
    }
    return item;
}

} // namespace

void ShareQuillonController::setToolPath(std::string path)
{
    toolPathStorage() = std::move(path);
}

std::string ShareQuillonController::toolPath()
{
    return toolPathStorage();
}

std::shared_ptr<ShareQuillonController> ShareQuillonController::make(std::shared_ptr<HXBundle> resources)
{
    auto pane = std::make_shared<ShareQuillonController>(std::move(resources));
    pane->postSharingEnabled(false);
    pane->buildViews();
    return pane;
}

ShareQuillonController::ShareQuillonController(std::shared_ptr<HXBundle> resources)
    : _resources(resources ? std::move(resources) : HXBundle::mainBundle())
{
    setActionHandler("loadWorkflows:", [this](HXObject* s) { loadWorkflows(s); });
    setActionHandler("workflowChanged:", [this](HXObject* s) { workflowChanged(s); });
    setActionHandler("showAuthPanel:", [this](HXObject* s) { showAuthPanel(s); });
}

ShareQuillonController::~ShareQuillonController()
{
    if (_authTask && _authTask->isRunning()) {
        _authTask->setTerminationHandler(nullptr);
        _authTask->terminate();
    }
}

void ShareQuillonController::registerInterface(std::shared_ptr<HXBundle> resources)
{
    HXInterfaceLoader::registerInterface(kInterfaceName, [resources](const std::shared_ptr<HXObject>& owner) {
        auto pane = make(resources);
        if (auto parent = std::dynamic_pointer_cast<ParentingWindowController>(owner))
            parent->setChild(pane);
        return std::vector<std::shared_ptr<HXObject>> { pane };
    });
}

std::string ShareQuillonController::localized(const std::string& key, const std::string& fallback) const
{
    return _resources->localizedStringForKey(key, fallback, "Export");
}

void ShareQuillonController::buildViews()
{
    auto self = shared_from_this();
    auto delegate = std::dynamic_pointer_cast<HXTextFieldDelegate>(self);
    setView(std::make_shared<HXView>(HXMakeRect(0, 0, 480, 190)));

    // The sign-in form.
    _authView = std::make_shared<HXView>(HXMakeRect(0, 0, 480, 190));
    _serverNameTextField = std::make_shared<HXTextField>(HXMakeRect(130, 150, 330, 22));
    _userNameTextField = std::make_shared<HXTextField>(HXMakeRect(130, 120, 330, 22));
    _passwordTextField = std::make_shared<HXSecureTextField>(HXMakeRect(130, 90, 330, 22));
    for (auto field : { _serverNameTextField, _userNameTextField, _passwordTextField })
        field->setDelegate(delegate);
    _loadWorkflowButton = std::make_shared<HXButton>(HXMakeRect(340, 56, 120, 28));
    _loadWorkflowButton->setTitle(localized("mvpPodcastLoadWorkflows", "Sign In"));
    _loadWorkflowButton->setTarget(self);
    _loadWorkflowButton->setAction("loadWorkflows:");
    _authPlaceHolderView = std::make_shared<HXView>(HXMakeRect(20, 0, 440, 50));
    for (auto v : std::vector<std::shared_ptr<HXView>> {
             label(HXMakeRect(20, 152, 105, 18), localized("mvpPodcastServer", "Server:")),
             label(HXMakeRect(20, 122, 105, 18), localized("mvpPodcastUser", "User name:")),
             label(HXMakeRect(20, 92, 105, 18), localized("mvpPodcastPassword", "Password:")),
             _serverNameTextField, _userNameTextField, _passwordTextField, _loadWorkflowButton,
             _authPlaceHolderView })
        _authView->addSubview(v);

    // The workflow form.
    _workFlowView = std::make_shared<HXView>(HXMakeRect(0, 0, 480, 190));
    _workFlowURLField = label(HXMakeRect(20, 160, 330, 18));
    auto change = std::make_shared<HXButton>(HXMakeRect(350, 154, 110, 28));
    change->setTitle(localized("mvpPodcastChangeAccount", "Change\u2026"));
    change->setTarget(self);
    change->setAction("showAuthPanel:");
    _workflowPopUpButton = std::make_shared<HXPopUpButton>(HXMakeRect(130, 120, 330, 26));
    _workflowPopUpButton->setTarget(self);
    _workflowPopUpButton->setAction("workflowChanged:");
    _workFlowPlaceHolderView = std::make_shared<HXView>(HXMakeRect(20, 0, 440, 110));
    for (auto v : std::vector<std::shared_ptr<HXView>> { _workFlowURLField, change,
             label(HXMakeRect(20, 124, 105, 18), localized("mvpPodcastWorkflow", "Workflow:")),
             _workflowPopUpButton, _workFlowPlaceHolderView })
        _workFlowView->addSubview(v);
    _metaDataView = std::make_shared<HXView>(HXMakeRect(0, 0, 440, 100));
    _description = std::make_shared<HXTextField>(HXMakeRect(0, 0, 440, 76));
    _metaDataView->addSubview(
        label(HXMakeRect(0, 80, 440, 18), localized("mvpPodcastDescription", "Description:")));
    _metaDataView->addSubview(_description);

    // Progress and errors, shown in the placeholder of the form that shows.
    _authProgressView = std::make_shared<HXView>(HXMakeRect(0, 0, 440, 30));
    _progressIndicator = std::make_shared<HXProgressIndicator>(HXMakeRect(0, 6, 20, 20));
    _progressIndicator->setIndeterminate(true);
    _progressTextField = label(HXMakeRect(26, 6, 410, 18));
    _authProgressView->addSubview(_progressIndicator);
    _authProgressView->addSubview(_progressTextField);
    _authErrorView = std::make_shared<HXView>(HXMakeRect(0, 0, 440, 44));
    _errorTextField = label(HXMakeRect(26, 0, 410, 40));
    _authErrorView->addSubview(_errorTextField);

    _workflowPopUpButton->addItemWithTitle(localized("mvpPodcastChooseWorkflow", "Choose a workflow"));
    _workflowPopUpButton->addItemWithTitle("-");
}

void ShareQuillonController::awakeFromInterface()
{
    auto& defaults = HXUserDefaults::standardUserDefaults();
    std::string server = defaults.stringForKey(kServerNameKey);
    std::string user = defaults.stringForKey(kUserNameKey);
    std::optional<std::string> password;
    if (!server.empty() && !user.empty())
        password = findQuillonPasswordInKeyChain(server, user);
    _settings.clear();
    _loadWorkflowButton->setEnabled(false);
    if (!server.empty() && !user.empty() && password && !password->empty()) {
        addWorkflowView(server, user);
        postSharingEnabled(false);
        _workflowPopUpButton->selectItemAtIndex(0);
        _workflowPopUpButton->setEnabled(false);
        authenticate(server, user, *password);
    } else {
        addAuthenticationView(server, user);
    }
}

void ShareQuillonController::setMVMovie(const std::shared_ptr<MVMovie>& movie)
{
    _movie = movie;
}

void ShareQuillonController::controlTextDidChange(HXTextField&)
{
    _loadWorkflowButton->setEnabled(!_serverNameTextField->stringValue().empty()
        && !_userNameTextField->stringValue().empty() && !_passwordTextField->stringValue().empty());
}

void ShareQuillonController::loadWorkflows(HXObject*)
{
    postSharingEnabled(false);
    authenticate(_serverNameTextField->stringValue(), _userNameTextField->stringValue(),
        _passwordTextField->stringValue());
}

void ShareQuillonController::showAuthPanel(HXObject*)
{
    if (_authTask) {
        _authTask->setTerminationHandler(nullptr);
        if (_authTask->isRunning())
            _authTask->terminate();
        _authTask.reset();
    }
    if (_addedWorkflowView) {
        removeStatusViews();
        _workFlowView->removeFromSuperview();
        _addedWorkflowView = false;
        auto& defaults = HXUserDefaults::standardUserDefaults();
        addAuthenticationView(defaults.stringForKey(kServerNameKey), defaults.stringForKey(kUserNameKey));
        postSharingEnabled(false);
    }
}

void ShareQuillonController::removeStatusViews()
{
    for (auto v : { _authProgressView, _metaDataView, _authErrorView })
        v->removeFromSuperview();
}

std::shared_ptr<HXView> ShareQuillonController::placeholder() const
{
    return _addedWorkflowView ? _workFlowPlaceHolderView : _authPlaceHolderView;
}

void ShareQuillonController::workflowChanged(HXObject*)
{
    removeStatusViews();
    if (_workflowPopUpButton->indexOfSelectedItem() >= kFirstWorkflowItem) {
        postSharingEnabled(true);
        _workFlowPlaceHolderView->addSubview(_metaDataView);
    } else {
        postSharingEnabled(false);
    }
}

void ShareQuillonController::showForm(const std::shared_ptr<HXView>& form)
{
    // The pane takes the form's height, its top edge staying where it is.
    auto pane = view();
    HXRect frame = pane->frame();
    double d = form->frame().size.height - frame.size.height;
    pane->setFrame(HXMakeRect(frame.origin.x, frame.origin.y - d, frame.size.width, frame.size.height + d));
    form->setFrameOrigin({ 0, 0 });
    pane->addSubview(form);
    if (auto window = pane->window(); window && d != 0) {
        HXRect w = window->frame();
        window->setFrame(HXMakeRect(w.origin.x, w.origin.y - d, w.size.width, w.size.height + d), true, true);
    }
}

void ShareQuillonController::addAuthenticationView(const std::string& server, const std::string& user)
{
    showForm(_authView);
    if (!server.empty())
        _serverNameTextField->setStringValue(server);
    if (!user.empty())
        _userNameTextField->setStringValue(user);
    _addedAuthView = true;
    controlTextDidChange(*_serverNameTextField);
}

void ShareQuillonController::addWorkflowView(const std::string& server, const std::string& user)
{
    showForm(_workFlowView);
    _workFlowURLField->setStringValue(user + "@" + server);
    _addedWorkflowView = true;
}

bool ShareQuillonController::cacheServer(const std::string& server, const std::string& account)
{
    auto& defaults = HXUserDefaults::standardUserDefaults();
    defaults.setString(server, kServerNameKey);
    defaults.setString(account, kUserNameKey);
    return true;
}

std::optional<std::string> ShareQuillonController::findQuillonPasswordInKeyChain(
    const std::string& server, const std::string& user)
{
    auto password = MVPPasswordStore::defaultStore().findInternetPassword(keychainItem(server, user));
    if (password && _passwordTextField->stringValue().empty())
        _passwordTextField->setStringValue(*password);
    return password;
}

void ShareQuillonController::storePasswordInKeyChain(const std::string&)
{
    auto alert = std::make_shared<HXAlert>();
    alert->setMessageText(localized("mvpKeyChainMessage", "Keep the password?"));
    alert->setInformativeText(localized("mvpKeyChainPasswordQuestion",
        "The password can be kept for you, readable by you alone, so that you need not type it again."));
    alert->addButtonWithTitle(localized("mvpSave", "Save"));
    alert->addButtonWithTitle(localized("mvpCancel", "Cancel"));
    std::weak_ptr<ShareQuillonController> weak
        = std::static_pointer_cast<ShareQuillonController>(shared_from_this());
    auto sheetParent = parent() ? parent()->window() : nullptr;
    auto parentWindow = sheetParent && sheetParent->sheetParent() ? sheetParent->sheetParent() : nullptr;
    if (parentWindow) {
        alert->beginSheetModalForWindow(parentWindow, [weak](long code) {
            if (auto self = weak.lock())
                self->alertDidEnd(code);
        });
    } else {
        alertDidEnd(alert->runModal());
    }
}

void ShareQuillonController::alertDidEnd(long returnCode)
{
    if (returnCode != HXAlertFirstButtonReturn)
        return;
    auto& defaults = HXUserDefaults::standardUserDefaults();
    HXError error;
    if (!MVPPasswordStore::defaultStore().addInternetPassword(
            keychainItem(defaults.stringForKey(kServerNameKey), defaults.stringForKey(kUserNameKey)),
            _passwordTextField->stringValue(), &error))
        HXLog("The podcast server's password could not be kept: " + error.localizedDescription());
}

std::optional<std::string> ShareQuillonController::workFlowNameForTitle(const std::string& title) const
{
    const auto& workflows = _workflowDictionary["workflows"];
    for (const auto& workflow : workflows.arrayValue())
        if (workflow["title"].stringValue() == title && workflow["name"].isString())
            return workflow["name"].stringValue();
    return std::nullopt;
}

std::optional<std::string> ShareQuillonController::createMetadataForWorkflow(const std::string& title)
{
    if (!workFlowNameForTitle(title))
        return std::nullopt;
    auto metadata = HXPropertyList::readFromFile(_resources->pathForResource("quillon_metadata", "plist"));
    HXPropertyList values
        = metadata && metadata->isDictionary() ? *metadata : HXPropertyList(HXPropertyList::Dictionary {});
    values.mutableDictionary()["Title"] = _movie ? _movie->displayName() : std::string();
    values.mutableDictionary()["Description"] = _description->stringValue();
    // A file of its own in the user's temporary folder (a fixed name there could be taken over by
    // someone else's link).
    std::string path
        = HXString::stringByAppendingPathComponent(HXTemporaryDirectory(), "metadatafile_XXXXXX");
    int fd = ::mkstemp(path.data());
    if (fd < 0)
        return std::nullopt;
    ::close(fd);
    if (!values.writeToFile(path)) {
        ::unlink(path.c_str());
        return std::nullopt;
    }
    return path;
}

bool ShareQuillonController::errorShown() const
{
    return _authErrorView->superview() != nullptr;
}

void ShareQuillonController::processError(const std::optional<std::string>& message)
{
    _progressIndicator->stopAnimation();
    _progressTextField->setHidden(true);
    removeStatusViews();
    placeholder()->addSubview(_authErrorView);
    if (message)
        _errorTextField->setStringValue(*message);
    _errorTextField->setHidden(false);
    view()->setNeedsDisplay(true);
    postSharingEnabled(false);
}

std::string ShareQuillonController::parseErrorCode(int status) const
{
    static const std::set<int> known
        = { 10, 11, 12, 20, 21, 22, 23, 24, 25, 26, 30, 31, 32, 33, 34, 35, 36, 37 };
    int code = known.count(status) ? status : 37;
    std::string text = localized("mvpSharePodcastServerMessage_" + std::to_string(code),
        "The podcast server reported a problem (" + std::to_string(code) + ").");
    return HXString::format(localized("mvpSharePodcastServerMessageFormat", "%@ %@"),
        std::vector<std::string> {
            localized("mvpSharePodcastServerMessage", "The workflows cannot be loaded."), text });
}

bool ShareQuillonController::authenticate(
    const std::string& server, const std::string& user, const std::string& password)
{
    if (_authTask) {
        _authTask->setTerminationHandler(nullptr);
        if (_authTask->isRunning())
            _authTask->terminate();
        _authTask.reset();
    }
    _stdOutData.clear();
    _workflowDictionary = HXPropertyList();
    removeStatusViews();
    _errorTextField->setHidden(true);
    if (server.empty() || user.empty()) {
        processError(std::nullopt);
        return false;
    }
    cacheServer(server, user);
    _progressIndicator->setHidden(false);
    _progressTextField->setHidden(false);
    _progressTextField->setStringValue(localized("mvpPodcastWorkflowLoading", "Loading workflows\u2026"));
    _progressIndicator->startAnimation();
    placeholder()->addSubview(_authProgressView);

    auto task = HXTask::task();
    task->setLaunchPath(toolPath());
    task->setArguments({ "-s", server, "-u", user, "-p", password, "--listworkflows" });
    task->setStandardInput(HXTaskStream::Null);
    task->setStandardOutput(HXTaskStream::Pipe);
    // The error output is drained too (the run loop reads it), so a talkative tool never stalls.
    task->setStandardError(HXTaskStream::Pipe);
    std::weak_ptr<ShareQuillonController> weak
        = std::static_pointer_cast<ShareQuillonController>(shared_from_this());
    task->setTerminationHandler([weak](HXTask& ended) {
        if (auto self = weak.lock())
            self->taskDidEnd(ended);
    });
    _authTask = task;
    HXError error;
    if (!task->launch(&error)) {
        _authTask.reset();
        processError(HXString::format(
            localized("mvpPodcastToolMissing", "The podcast publishing program %@ cannot be started."),
            std::vector<std::string> { toolPath() }));
        return false;
    }
    // The pane waits for the tool, as the user does: the list is there when this returns.
    task->waitUntilExit();
    return true;
}

void ShareQuillonController::taskDidEnd(HXTask& task)
{
    _progressIndicator->stopAnimation();
    _progressIndicator->setHidden(true);
    int status = task.terminationReason() == HXTaskTerminationReason::Exit ? task.terminationStatus() : -1;
    if (status != 0) {
        processError(parseErrorCode(status));
    } else {
        _progressTextField->setStringValue(localized("mvpPodcastWorkflowDone", "Workflows loaded."));
        _loadWorkflowButton->setEnabled(true);
        auto& defaults = HXUserDefaults::standardUserDefaults();
        std::string server = defaults.stringForKey(kServerNameKey),
                    user = defaults.stringForKey(kUserNameKey);
        if (!MVPPasswordStore::defaultStore().findInternetPassword(keychainItem(server, user)))
            storePasswordInKeyChain(_passwordTextField->stringValue());
        if (_addedAuthView) {
            removeStatusViews();
            _authView->removeFromSuperview();
            _addedAuthView = false;
            addWorkflowView(server, user);
        }
        _stdOutData = task.standardOutputData();
        auto list = HXPropertyList::fromXML(_stdOutData);
        if (list && list->isDictionary() && (*list)["workflows"].isArray()
            && (*list)["workflows"].count() > 0) {
            while (_workflowPopUpButton->numberOfItems() > kFirstWorkflowItem)
                _workflowPopUpButton->removeItemAtIndex(kFirstWorkflowItem);
            for (const auto& workflow : (*list)["workflows"].arrayValue())
                _workflowPopUpButton->addItemWithTitle(workflow["title"].stringValue());
            _workflowPopUpButton->selectItemAtIndex(kFirstWorkflowItem);
            _workflowPopUpButton->setEnabled(true);
            _workflowDictionary = *list;
            postSharingEnabled(true);
            workflowChanged(nullptr);
        }
    }
    if (!errorShown())
        _progressTextField->setHidden(true);
    _progressIndicator->setHidden(true);
    _authProgressView->removeFromSuperview();
}

HXPropertyList::Dictionary ShareQuillonController::parameters()
{
    auto& defaults = HXUserDefaults::standardUserDefaults();
    std::string server = defaults.stringForKey(kServerNameKey);
    std::string user = defaults.stringForKey(kUserNameKey);
    auto stored = MVPPasswordStore::defaultStore().findInternetPassword(keychainItem(server, user));
    std::string password = stored ? *stored : _passwordTextField->stringValue();
    auto error = [&](const char* title, const char* message, const char* titleText, const char* messageText) {
        return HXPropertyList::Dictionary { { "ErrorTitle", localized(title, titleText) },
            { "ErrorMessage", localized(message, messageText) } };
    };
    if (server.empty())
        return error("mvpSharePodcastNoServerName", "mvpSharePodcastNoServerNameMessage", "No server",
            "Type the name of the podcast server and sign in.");
    if (user.empty())
        return error("mvpSharePodcastNoUserName", "mvpSharePodcastNoUserNameMessage", "No user name",
            "Type your user name on the podcast server and sign in.");
    if (password.empty())
        return error("mvpSharePodcastNoPassword", "mvpSharePodcastNoPasswordMessage", "No password",
            "Type your password for the podcast server and sign in.");

    // The tool submits the movie's own file: a movie that has none cannot be published, and saying so now
    // beats a job that fails later.
    std::string file = _movie ? _movie->fileName() : std::string();
    if (file.empty())
        return error("mvpSharePodcastNoFile", "mvpSharePodcastNoFileMessage", "The movie has no file",
            "Save the movie, then publish it.");

    auto item = _workflowPopUpButton->itemAtIndex(_workflowPopUpButton->indexOfSelectedItem());
    std::string title = item ? item->title() : std::string();
    auto metadata = createMetadataForWorkflow(title);
    std::string movieName = _movie ? _movie->displayName() : std::string();
    _settings["description"]
        = HXString::format(localized("mvpShareToPodcast", "Publish \u201C%@\u201D with %@"),
            std::vector<std::string> { movieName, title });
    _settings["MVPublishStep"] = "PublishPodcast";
    _settings["CmdLinePath"] = toolPath();
    // The arguments end before the first value that is missing.
    HXPropertyList::Array args = { "-s", server, "-u", user, "-p", password, "--submit", "--file" };
    auto workflow = workFlowNameForTitle(title);
    for (const auto& [flag, value] : std::vector<std::pair<const char*, std::optional<std::string>>> {
             { nullptr, file.empty() ? std::nullopt : std::optional<std::string>(file) },
             { "--workflow", workflow }, { "--metadata", metadata } }) {
        if (!value)
            break;
        if (flag)
            args.push_back(flag);
        args.push_back(*value);
    }
    _settings["SubmitArgs"] = args;
    return _settings;
}
