#pragma once

// What the workspace needs of the control binder of the page or dialog that shows parameters:
// whether a control shows a parameter, and showing a new raw value on it.
class IParamControlBinder {
public:
    virtual ~IParamControlBinder() = default;
    virtual bool HasControl(int paramId) const = 0;
    virtual void ShowValue(int paramId, int value) = 0;
};
