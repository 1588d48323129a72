// What the settings store needs of a window to save and restore its place on the screen.
// The window system implements it for its windows; positions and sizes are window units.
#pragma once

namespace zelt::framework {

class WindowProperties {
  public:
    virtual ~WindowProperties() = default;
    virtual bool Iconised() const = 0;
    virtual bool Maximised() const = 0;
    virtual bool Resizable() const = 0;
    virtual int X() const = 0;
    virtual int Y() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetPosition(int x, int y) = 0;
    virtual void SetSize(int width, int height) = 0;
    virtual void SetMaximised(bool maximised) = 0;
};

}  // namespace zelt::framework
