// The C side's calls into the page (platform/web/browser.h). Each forwards
// to Module.qvo, which platform/web/page.js provides; the calls that wait
// suspend the program (Asyncify) until the page's promise settles.
mergeInto(LibraryManager.library, {
  // The canvas's ImageData is a view on the program's pixels, made once: a
  // new one only when the memory has grown (its buffer replaced) or the
  // pixels moved.
  qvo_present: function(rgba, width, height) {
    var image = Module['qvoImage'];
    if (!image || image.data.buffer !== HEAPU8.buffer || image.data.byteOffset !== rgba || image.width !== width || image.height !== height) {
      image = Module['qvoImage'] =
        new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4), width, height);
    }
    Module['qvo'].present(image);
  },
  qvo_wait_frame: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      Module['qvo'].waitFrame().then(function() { wakeUp(); });
    });
  },
  qvo_message_box: function(text, caption, type) {
    return Asyncify.handleSleep(function(wakeUp) {
      Module['qvo'].messageBox(UTF8ToString(text), UTF8ToString(caption), type).then(wakeUp);
    });
  },
  qvo_next_event: function() { return Module['qvo'].nextEvent(); },
  qvo_window_open: function(title, icon, size) {
    var pixels = icon ? HEAPU32.slice(icon >> 2, (icon >> 2) + size * size) : null;
    Module['qvo'].windowOpen(UTF8ToString(title), pixels, size);
  },
  qvo_window_show: function(visible) { Module['qvo'].windowShow(visible != 0); },
  qvo_cursor_hidden: function(hidden) { Module['qvo'].cursorHidden(hidden != 0); },
  qvo_keep_screen_awake: function(awake) { Module['qvo'].keepScreenAwake(awake != 0); },
  qvo_leave_full_screen: function() { Module['qvo'].leaveFullScreen(); },
  qvo_page_exit: function(code) { Module['qvo'].exit(code); },
  // After callMain has returned at the program's first wait: settles with
  // main's value when the program ends by returning, or is rejected with
  // the ExitStatus of exit().
  qvo_page_exit__postset: "Module['qvoProgramDone'] = function() {" +
    " return Asyncify.currData ? Asyncify.whenDone() : Promise.resolve(EXITSTATUS | 0); };",

  qvo_audio_open: function(rate) { return Module['qvo'].audioOpen(rate) ? 1 : 0; },
  // The page hands the music over in this instance's memory, as
  // interleaved 16-bit stereo from malloc: {at, samples}, or null.
  qvo_audio_decode: function(data, bytes, framesOut) {
    return Asyncify.handleSleep(function(wakeUp) {
      Module['qvo'].decodeAudio(HEAPU8.slice(data, data + bytes).buffer, Module).then(function(music) {
        if (!music) return wakeUp(0);
        var base = music.at >> 1;
        HEAP32[framesOut >> 2] = music.samples / 2;
        Module['qvo'].decoded(HEAP16.subarray(base, base + music.samples));
        wakeUp(music.at);
      });
    });
  },
  qvo_audio_play: function() { Module['qvo'].audioPlay(); },
  qvo_audio_stop: function() { Module['qvo'].audioStop(); },
});
