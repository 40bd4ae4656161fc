#pragma once
// The form toolkit in one include.
//
// A window of the programs derives from Form, places its controls in its
// constructor (positions in twips, relative to the container) and handles
// the form's events by overriding Form_Load, Form_Activate, Form_Resize,
// Form_KeyDown, Form_QueryUnload and Form_Unload; control events are the
// Click, GotFocus and KeyPress members of each control:
//
//   class Form_MSG : public forms::Form {
//    public:
//     explicit Form_MSG(forms::Application& app) : Form(app, L"Form_MSG") {
//       C_OK.Move(2520, 3810, 1600, 400);
//       C_OK.Caption(L"OK");
//       C_OK.Click = [this](int16_t) { Unload(); };
//     }
//    private:
//     forms::CommandButton& C_OK = Add<forms::CommandButton>(L"C_OK");
//   };
//
//   forms::Application app;       // one per program, outliving its forms
//   Form_MSG form(app);
//   form.Show();
//   return app.Run();             // returns when the last form unloads
//
// Control arrays (ControlArray) keep their element 0 as the template that
// Load copies. Setters that cannot do what is asked return false and change
// nothing, so a window can skip that statement and go on.
#include "forms/Application.h"
#include "forms/CheckBox.h"
#include "forms/CommandButton.h"
#include "forms/Control.h"
#include "forms/ControlArray.h"
#include "forms/DdeLink.h"
#include "forms/Form.h"
#include "forms/Frame.h"
#include "forms/Image.h"
#include "forms/Keyboard.h"
#include "forms/Label.h"
#include "forms/OptionButton.h"
#include "forms/PictureBox.h"
#include "forms/Surface.h"
#include "forms/TextBox.h"
#include "forms/Units.h"
#include "forms/Widget.h"
