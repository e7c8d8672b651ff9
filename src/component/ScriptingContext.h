// The page host's interfaces the component calls: the scripting context
// handed to OnStartPage and the request object it yields. Only the table
// positions used are given meaning; the other positions are declared so the
// layout matches the host's.
#pragma once

#include "tarvex/automation.h"

namespace tarvex {

// {D97A6DA0-A868-11CF-83AE-00B0C90C2BD8}
extern "C" const IID IID_IScriptingContext;

// Positions 7 to 11 return the page objects, each with a reference for the
// caller; the first is the request object.
struct IScriptingContext : public IDispatch {
    /*  7 */ virtual HRESULT STDMETHODCALLTYPE get_Request(IUnknown** request) = 0;
    /*  8 */ virtual HRESULT STDMETHODCALLTYPE get_Response(IUnknown** response) = 0;
    /*  9 */ virtual HRESULT STDMETHODCALLTYPE get_Server(IUnknown** server) = 0;
    /* 10 */ virtual HRESULT STDMETHODCALLTYPE get_Session(IUnknown** session) = 0;
    /* 11 */ virtual HRESULT STDMETHODCALLTYPE get_Application(IUnknown** application) = 0;

protected:
    ~IScriptingContext() = default;
};

// The request object: the body length at position 14, the body bytes at 15.
struct IRequest : public IDispatch {
    /*  7 */ virtual HRESULT STDMETHODCALLTYPE get_Item(BSTR name, IDispatch** value) = 0;
    /*  8 */ virtual HRESULT STDMETHODCALLTYPE get_QueryString(IUnknown** collection) = 0;
    /*  9 */ virtual HRESULT STDMETHODCALLTYPE get_Form(IUnknown** collection) = 0;
    /* 10 */ virtual HRESULT STDMETHODCALLTYPE get_Body(IUnknown** collection) = 0;
    /* 11 */ virtual HRESULT STDMETHODCALLTYPE get_ServerVariables(IUnknown** collection) = 0;
    /* 12 */ virtual HRESULT STDMETHODCALLTYPE get_ClientCertificate(IUnknown** collection) = 0;
    /* 13 */ virtual HRESULT STDMETHODCALLTYPE get_Cookies(IUnknown** collection) = 0;
    /* 14 */ virtual HRESULT STDMETHODCALLTYPE get_TotalBytes(LONG* totalBytes) = 0;
    /* 15 */ virtual HRESULT STDMETHODCALLTYPE BinaryRead(VARIANT* count, VARIANT* bytes) = 0;

protected:
    ~IRequest() = default;
};

}  // namespace tarvex
