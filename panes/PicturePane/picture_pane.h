#pragma once
// MVPPicturePane: the visual settings of a visual track: its size (in pixels or percent of its natural
// size, optionally keeping the aspect ratio), offset, rotation and flips, mask image, layer, graphics mode
// with operation colour and transparency, and the video flags. Every change is undoable.
#include "key_value_pane.h"

#include "platform/basekit/notification_center.h"
#include "platform/drawing/image.h"
#include "platform/winkit/pop_up_button.h"

class MVDataReference;

// One graphics mode of the pane's "GraphicsModes" list.
struct MVPGraphicsMode {
    int64_t mode = 0;
    std::string name;
    bool deprecated = false, transparent = false;
};

// Units of the current-size fields.
enum MVPSizeUnit : int64_t { MVPSizeUnitPixels = 0, MVPSizeUnitPercent = 1 };

class MVPPicturePane : public MVPKeyValuePane {
public:
    MVPPicturePane(std::shared_ptr<MVTrack> track, std::shared_ptr<HXBundle> bundle);
    ~MVPPicturePane() override;

    // The graphics modes of `bundle` (read once per bundle and kept); empty when the list is unreadable.
    static const std::vector<MVPGraphicsMode>& getGraphicsModeDictionaries(const std::shared_ptr<HXBundle>& bundle);

    std::shared_ptr<HXView> view() override;
    void startInspection() override;
    void stopInspection() override;

    HXPropertyList valueForKey(const std::string& key) const override;
    // A control that delivers no value sets 0 when 0 is a valid value of the key.
    void setNilValueForKey(const std::string& key);

    // Matrix operations (undoable).
    void setMatrixData(const MVBytes& data);
    void resetMatrix();
    void rotate(double radians);
    void rotateCW90() { rotate(1.5707963267948966); }
    void rotateCCW90() { rotate(-1.5707963267948966); }
    void flipX();
    void flipY();
    // Mask operations (undoable).
    std::shared_ptr<HXImage> maskImage();
    bool setMaskWithDataRef(const MVDataReference& reference);
    void clearMask();
    void invertMask();
    // Asks for the mask image in a sheet on the pane's window; a chosen file becomes the mask.
    void chooseMask();
    void openPanelDidEnd(long returnCode, const std::vector<std::string>& filenames);

    std::shared_ptr<HXPopUpButton> modePopup;

protected:
    void takeValueForKey(const HXPropertyList& value, const std::string& key) override;
    bool validateValue(HXPropertyList& value, const std::string& key, const HXPropertyList& current) override;

private:
    void setMaskData(const std::optional<HXData>& data);
    // The transparency slider shows only for modes that use it.
    void showTransparencySlider();
    const MVPGraphicsMode* currentMode() const;
    double unitScale(bool width) const;

    std::shared_ptr<MVTrack> _track;
    std::shared_ptr<HXBundle> _bundle;
    std::shared_ptr<HXView> _view;
    int64_t _sizeMode = MVPSizeUnitPixels;
    bool _preserveAspect = true;
    std::shared_ptr<HXImage> _mask;
    std::weak_ptr<HXView> _transparencySlider;
    std::optional<HXObserverToken> _sizeObserver;
};

class MVPPicturePaneFactory : public MVPPropertyInspectorFactory {
public:
    std::string className() const override { return "MVPPicturePane"; }
    bool canInspectObject(const MVPInspectedObject& object) override { return object.isTrack() && object.track()->isVisual(); }
    std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject& object) override;
};
