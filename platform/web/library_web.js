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
  qvo_audio_decode__deps: ['malloc'],
  qvo_audio_decode: function(data, bytes, framesOut) {
    return Asyncify.handleSleep(function(wakeUp) {
      Module['qvo'].decodeAudio(HEAPU8.slice(data, data + bytes).buffer).then(function(decoded) {
        if (!decoded) return wakeUp(0);
        var frames = decoded.length;
        var pcm = _malloc(frames * 4);
        if (!pcm) return wakeUp(0);
        var left = decoded.getChannelData(0);
        var right = decoded.numberOfChannels > 1 ? decoded.getChannelData(1) : left;
        var out = HEAP16, base = pcm >> 1;
        for (var i = 0; i < frames; ++i) {
          out[base + 2 * i] = Math.max(-32768, Math.min(32767, Math.round(left[i] * 32768)));
          out[base + 2 * i + 1] = Math.max(-32768, Math.min(32767, Math.round(right[i] * 32768)));
        }
        HEAP32[framesOut >> 2] = frames;
        Module['qvo'].decoded(HEAP16.subarray(base, base + frames * 2));
        wakeUp(pcm);
      });
    });
  },
  qvo_audio_play: function() { Module['qvo'].audioPlay(); },
  qvo_audio_stop: function() { Module['qvo'].audioStop(); },
});
