#pragma once

// The few Windows Runtime interfaces the media session link uses, declared by hand as plain
// COM: mingw-w64 has the runtime's base (IInspectable, IAsyncInfo, HSTRING, RoInitialize)
// but not these, and C++/WinRT is not needed for so few calls. Each follows its declaration
// in the Windows metadata, Windows.Media.Control (UniversalApiContract 7, Windows 10 1809)
// and Windows.Foundation (IAsyncOperation<TResult>, IVectorView<T>): the IIDs are the
// metadata's, and every method is in the metadata's vtable order, those never called
// included, as each holds its place in the table.

#include <windows.h>

#include <asyncinfo.h>
#include <eventtoken.h>
#include <inspectable.h>

namespace MediaControl {

// The runtime class the system registers, activated by name.
inline constexpr wchar_t ManagerClass[] =
    L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager";

// GlobalSystemMediaTransportControlsSessionPlaybackStatus.
enum class PlaybackStatus : INT32 {
    Closed = 0,
    Opened = 1,
    Changing = 2,
    Stopped = 3,
    Playing = 4,
    Paused = 5
};

// Windows.Foundation.TimeSpan (a length) and DateTime (since 1601, UTC, as FILETIME), both
// in ticks of 100 nanoseconds.
using Ticks = INT64;

// Windows.Foundation.IAsyncOperation<TResult>. Its IAsyncInfo is the same object's, asked
// for with QueryInterface. The handler is an IAsyncOperationCompletedHandler<TResult>.
template <class Result>
struct IAsyncOperation : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE put_Completed(IUnknown* handler) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Completed(IUnknown** handler) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResults(Result* results) = 0;
};

// Windows.Foundation.Collections.IVectorView<T>.
template <class T>
struct IVectorView : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE GetAt(UINT32 index, T* item) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(UINT32* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE IndexOf(T value, UINT32* index, boolean* found) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMany(UINT32 start, UINT32 capacity, T* items,
                                              UINT32* count) = 0;
};

// The IReference<T> and enum-valued properties this program never reads are IInspectable*.
struct IGlobalSystemMediaTransportControlsSessionPlaybackInfo : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Controls(IInspectable** controls) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PlaybackStatus(PlaybackStatus* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PlaybackType(IInspectable** type) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AutoRepeatMode(IInspectable** mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PlaybackRate(IInspectable** rate) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsShuffleActive(IInspectable** active) = 0;
};

struct IGlobalSystemMediaTransportControlsSessionTimelineProperties : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_StartTime(Ticks* start) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EndTime(Ticks* end) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MinSeekTime(Ticks* min) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MaxSeekTime(Ticks* max) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Position(Ticks* position) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LastUpdatedTime(Ticks* updated) = 0;
};

using IAsyncBoolean = IAsyncOperation<boolean>;

struct IGlobalSystemMediaTransportControlsSession : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(HSTRING* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryGetMediaPropertiesAsync(IInspectable** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTimelineProperties(
        IGlobalSystemMediaTransportControlsSessionTimelineProperties** timeline) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetPlaybackInfo(IGlobalSystemMediaTransportControlsSessionPlaybackInfo** info) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryPlayAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryPauseAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryStopAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryRecordAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryFastForwardAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryRewindAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TrySkipNextAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TrySkipPreviousAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryChangeChannelUpAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryChangeChannelDownAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryTogglePlayPauseAsync(IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryChangeAutoRepeatModeAsync(INT32 mode,
                                                                   IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryChangePlaybackRateAsync(DOUBLE rate,
                                                                 IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryChangeShuffleActiveAsync(boolean active,
                                                                  IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE TryChangePlaybackPositionAsync(Ticks position,
                                                                     IAsyncBoolean** operation) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    add_TimelinePropertiesChanged(IUnknown* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    remove_TimelinePropertiesChanged(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_PlaybackInfoChanged(IUnknown* handler,
                                                              EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_PlaybackInfoChanged(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_MediaPropertiesChanged(IUnknown* handler,
                                                                 EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    remove_MediaPropertiesChanged(EventRegistrationToken token) = 0;
};

using ISessionList = IVectorView<IGlobalSystemMediaTransportControlsSession*>;

struct IGlobalSystemMediaTransportControlsSessionManager : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE
    GetCurrentSession(IGlobalSystemMediaTransportControlsSession** session) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSessions(ISessionList** sessions) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_CurrentSessionChanged(IUnknown* handler,
                                                                EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    remove_CurrentSessionChanged(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_SessionsChanged(IUnknown* handler,
                                                          EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_SessionsChanged(EventRegistrationToken token) = 0;
};

using IAsyncSessionManager = IAsyncOperation<IGlobalSystemMediaTransportControlsSessionManager*>;

// The class's static side, from its activation factory.
struct IGlobalSystemMediaTransportControlsSessionManagerStatics : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE RequestAsync(IAsyncSessionManager** operation) = 0;
};

}  // namespace MediaControl

__CRT_UUID_DECL(MediaControl::IGlobalSystemMediaTransportControlsSessionManagerStatics, 0x2050c4ee,
                0x11a0, 0x57de, 0xae, 0xd7, 0xc9, 0x7c, 0x70, 0x33, 0x82, 0x45)
__CRT_UUID_DECL(MediaControl::IGlobalSystemMediaTransportControlsSessionManager, 0xcace8eac, 0xe86e,
                0x504a, 0xab, 0x31, 0x5f, 0xf8, 0xff, 0x1b, 0xce, 0x49)
__CRT_UUID_DECL(MediaControl::IGlobalSystemMediaTransportControlsSession, 0x7148c835, 0x9b14,
                0x5ae2, 0xab, 0x85, 0xdc, 0x9b, 0x1c, 0x14, 0xe1, 0xa8)
__CRT_UUID_DECL(MediaControl::IGlobalSystemMediaTransportControlsSessionPlaybackInfo, 0x94b4b6cf,
                0xe8ba, 0x51ad, 0x87, 0xa7, 0xc1, 0x0a, 0xde, 0x10, 0x61, 0x27)
__CRT_UUID_DECL(MediaControl::IGlobalSystemMediaTransportControlsSessionTimelineProperties,
                0xede34136, 0x6f25, 0x588d, 0x8e, 0xcf, 0xea, 0x5b, 0x67, 0x35, 0xaa, 0xa5)
// The instances of the generic interfaces used, each with the IID the runtime derives from
// its signature (pinterface(...)).
__CRT_UUID_DECL(MediaControl::IAsyncBoolean, 0xcdb5efb3, 0x5788, 0x509d, 0x9b, 0xe1, 0x71, 0xcc,
                0xb8, 0xa3, 0x36, 0x2a)
__CRT_UUID_DECL(MediaControl::IAsyncSessionManager, 0x3eec115e, 0x7346, 0x5c27, 0x8c, 0x5f, 0xda,
                0x78, 0x51, 0x4a, 0x27, 0x7b)
__CRT_UUID_DECL(MediaControl::ISessionList, 0x9b2672da, 0x5088, 0x5a1d, 0xac, 0xd9, 0xa3, 0xfc,
                0x5e, 0xf1, 0xcf, 0xa4)
