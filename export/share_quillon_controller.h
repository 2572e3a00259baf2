#pragma once
// The podcast-server pane of the share sheet. It signs in first: it asks the server's command-line tool
// for the publishing workflows the account may use, keeps the server and account in the user defaults
// ("QuillonServerName", "QuillonUserName") and offers to keep the password in the password store; then the
// user picks a workflow and types a description, and the pane's parameters make the worker run the
// tool's submit command on the movie file.
//
// The tool ("/usr/bin/quillon") is outside the player: it takes "-s server -u user -p password" and either
// "--listworkflows" (printing {"workflows": [{"title", "name"}...]} as an XML property list) or
// "--submit --file F --workflow NAME --metadata PATH", and exits 0, or with the statuses whose messages
// are "mvpSharePodcastServerMessage_<status>".
#include "export/view_controller.h"
#include "platform/winkit/text_field.h"

#include <memory>
#include <optional>
#include <string>

class HXBundle;
class HXButton;
class HXPopUpButton;
class HXProgressIndicator;
class HXTask;

class ShareQuillonController : public ViewController, public HXTextFieldDelegate {
public:
    static std::shared_ptr<ShareQuillonController> make(std::shared_ptr<HXBundle> resources = nullptr);
    explicit ShareQuillonController(std::shared_ptr<HXBundle> resources); // use make
    ~ShareQuillonController() override;
    // The interface "ShareCastworks".
    static void registerInterface(std::shared_ptr<HXBundle> resources = nullptr);
    // The tool; "/usr/bin/quillon" unless replaced (tests).
    static void setToolPath(std::string path);
    static std::string toolPath();

    void awakeFromInterface() override;
    void setMVMovie(const std::shared_ptr<MVMovie>& movie) override;
    HXPropertyList::Dictionary parameters() override;

    bool cacheServer(const std::string& server, const std::string& account);
    void storePasswordInKeyChain(const std::string& password);
    void alertDidEnd(long returnCode);
    std::optional<std::string> findQuillonPasswordInKeyChain(
        const std::string& server, const std::string& user);
    std::optional<std::string> workFlowNameForTitle(const std::string& title) const;
    std::optional<std::string> createMetadataForWorkflow(const std::string& title);
    void processError(const std::optional<std::string>& message);
    void controlTextDidChange(HXTextField& control) override;
    std::string parseErrorCode(int status) const;
    bool authenticate(const std::string& server, const std::string& user, const std::string& password);
    void taskDidEnd(HXTask& task);
    void loadWorkflows(HXObject* sender);
    void workflowChanged(HXObject* sender);
    void showAuthPanel(HXObject* sender);

    // Parts the tests and the interface reach.
    std::shared_ptr<HXTextField> serverNameTextField() const { return _serverNameTextField; }
    std::shared_ptr<HXTextField> userNameTextField() const { return _userNameTextField; }
    std::shared_ptr<HXTextField> passwordTextField() const { return _passwordTextField; }
    std::shared_ptr<HXTextField> errorTextField() const { return _errorTextField; }
    std::shared_ptr<HXTextField> descriptionField() const { return _description; }
    std::shared_ptr<HXPopUpButton> workflowPopUpButton() const { return _workflowPopUpButton; }
    std::shared_ptr<HXButton> loadWorkflowButton() const { return _loadWorkflowButton; }
    bool showsSignInForm() const { return _addedAuthView; }
    bool showsWorkflowForm() const { return _addedWorkflowView; }
    bool errorShown() const;

private:
    void buildViews();
    void addAuthenticationView(const std::string& server, const std::string& user);
    void addWorkflowView(const std::string& server, const std::string& user);
    void showForm(const std::shared_ptr<HXView>& form);
    void removeStatusViews();
    std::shared_ptr<HXView> placeholder() const;
    std::string localized(const std::string& key, const std::string& fallback) const;

    std::shared_ptr<HXView> _authView, _authPlaceHolderView, _authProgressView, _authErrorView;
    std::shared_ptr<HXView> _workFlowView, _workFlowPlaceHolderView, _metaDataView;
    std::shared_ptr<HXTextField> _workFlowURLField;
    std::shared_ptr<HXTextField> _serverNameTextField, _userNameTextField, _errorTextField,
        _progressTextField;
    std::shared_ptr<HXTextField> _passwordTextField; // a secure text field
    std::shared_ptr<HXPopUpButton> _workflowPopUpButton;
    std::shared_ptr<HXProgressIndicator> _progressIndicator;
    std::shared_ptr<HXButton> _loadWorkflowButton;
    std::shared_ptr<HXTextField> _description;
    std::shared_ptr<MVMovie> _movie;
    HXPropertyList::Dictionary _settings;
    HXPropertyList _workflowDictionary;
    std::shared_ptr<HXTask> _authTask;
    bool _addedAuthView = false;
    bool _addedWorkflowView = false;
    std::string _stdOutData;
    std::shared_ptr<HXBundle> _resources;
};
