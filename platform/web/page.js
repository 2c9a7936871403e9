// Quel Varn Ossa in a page. Fetches the pack beside the page, waits for a
// click (browsers allow sound and full screen only after one), then runs the
// program with the query string as its command line:
//   index.html?credits&hollowmere   ->   "credits hollowmere"
// The program reaches the page through Module.qvo (library_web.js): the
// canvas, the page's keys, message boxes, and the sound.
'use strict';

(function () {
  const canvas = document.getElementById('screen');
  const context = canvas.getContext('2d', {alpha: false});
  const stage = document.getElementById('stage');
  const start = document.getElementById('start');
  const box = document.getElementById('box');
  const rate = 44100;

  // What the checks and a curious user can read from the console.
  const stats = {
    loadMs: null, started: false, musicStart: null, exitCode: null, frames: 0, lastPresent: 0, lastWake: 0,
    frameIntervals: [], frameWork: [], sync: [], missedFrames: 0, replacements: 0, boxes: [],
    decodedFrames: 0, firstSoundFrame: -1,
  };

  function commandLine() {
    return location.search.slice(1).split('&').filter(Boolean).map(function (word) {
      try { return decodeURIComponent(word.replace(/\+/g, ' ')); } catch (e) { return word; }
    });
  }

  // ---- input: keys as virtual-key codes, focus, the mouse ----
  const events = [];
  const namedKeys = {Escape: 0x1B, Enter: 0x0D, ' ': 0x20, Tab: 0x09, Backspace: 0x08,
    ArrowLeft: 0x25, ArrowUp: 0x26, ArrowRight: 0x27, ArrowDown: 0x28};
  function virtualKey(e) {
    if (e.key in namedKeys) return namedKeys[e.key];
    if (/^F([1-9]|1[0-2])$/.test(e.key)) return 0x6F + Number(e.key.slice(1));
    if (e.key.length === 1 && /[a-z0-9]/i.test(e.key)) return e.key.toUpperCase().charCodeAt(0);
    return 0;
  }
  function toggleFullScreen() {
    if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
    else if (stage.requestFullscreen) stage.requestFullscreen().catch(function () {});
  }
  document.addEventListener('keydown', function (e) {
    if (box.open) return answerBoxKey(e);
    if (!stats.started) return;
    if (e.key === 'f' || e.key === 'F') toggleFullScreen();
    const key = virtualKey(e);
    if (key) { events.push(1 << 16 | key); e.preventDefault(); }
  });
  document.addEventListener('keyup', function (e) {
    const key = virtualKey(e);
    if (key && stats.started && !box.open) events.push(2 << 16 | key);
  });
  document.addEventListener('visibilitychange', function () {
    events.push(3 << 16 | (document.hidden ? 0 : 1));
  });
  canvas.addEventListener('mousemove', function () { events.push(5 << 16); });
  canvas.addEventListener('dblclick', toggleFullScreen);

  // ---- message boxes: an overlay with the text and its buttons ----
  let answerBox = null;
  function answerBoxKey(e) {
    e.preventDefault();
    const buttons = box.querySelectorAll('button');
    if (e.key === 'Enter') buttons[0].click();
    else if (e.key === 'Escape') buttons[buttons.length - 1].click();
  }
  function messageBox(text, caption, type) {
    stats.boxes.push({caption: caption, text: text});
    return new Promise(function (resolve) {
      box.querySelector('h1').textContent = caption;
      box.querySelector('p').textContent = text;
      const row = box.querySelector('div');
      row.textContent = '';
      const choices = (type & 0xF) === 4 ? [['Yes', 6], ['No', 7]] : [['OK', 1]];
      choices.forEach(function (choice) {
        const button = document.createElement('button');
        button.textContent = choice[0];
        button.addEventListener('click', function () {
          box.close();
          resolve(choice[1]);
        });
        row.appendChild(button);
      });
      box.show();
      row.firstChild.focus();
    });
  }

  // ---- sound: the program's mixer feeds an audio worklet ----
  // The music frame the clock wants heard at performance.now() time p is
  // (p - playPerf) * rate / 1000. The worklet plays music frame k at context
  // frame start + k; start is chosen so that frame 0 is heard at playPerf,
  // on the output's own clock (getOutputTimestamp maps its context time to
  // performance.now()). The page mixes ahead of the worklet's render time;
  // what the output has already passed still goes through the mixer, so the
  // DSP hook sees every block in order.
  const lead = 0.5;  // seconds mixed ahead of the render time: room for a busy page
  const audio = {context: null, node: null, buffer: 0, playPerf: 0, start: 0, next: 0, feeder: 0,
    offChecks: 0, report: null, wakeLock: null};

  // The context time heard at performance.now() time p.
  function contextTimeHeardAt(p) {
    const c = audio.context;
    const stamp = c.getOutputTimestamp();
    if (stamp.performanceTime > 0) return stamp.contextTime + (p - stamp.performanceTime) / 1000;
    return c.currentTime - (c.outputLatency || 0) - (c.baseLatency || 0) + (p - performance.now()) / 1000;
  }

  // Mixes `frames` more music frames through the program, in blocks of 1024
  // as the desktop's mixer makes them; posts them to the worklet unless
  // they are already past.
  function mix(frames, past) {
    while (frames > 0) {
      const n = Math.min(frames, 1024);
      Module._qvoAudioMix(audio.buffer, n);
      if (audio.next + n > past) {
        const pcm = Module.HEAP16, base = audio.buffer >> 1;
        const left = new Float32Array(n), right = new Float32Array(n);
        for (let i = 0; i < n; ++i) {
          left[i] = pcm[base + 2 * i] / 32768;
          right[i] = pcm[base + 2 * i + 1] / 32768;
        }
        audio.node.port.postMessage({frame: audio.next, left: left, right: right}, [left.buffer, right.buffer]);
      }
      audio.next += n;
      frames -= n;
    }
  }

  // The output's clock may slip against performance.now() (a stalled or
  // drifting device): once the music heard is more than 10 ms off the
  // clock two checks running (40 ms), it is placed on the clock again.
  function keepOnClock() {
    const now = performance.now();
    const off = Math.round(contextTimeHeardAt(now) * rate - audio.start - (now - audio.playPerf) * rate / 1000);
    audio.offChecks = Math.abs(off) > rate / 100 ? audio.offChecks + 1 : 0;
    if (audio.offChecks < 2) return;
    audio.offChecks = 0;
    audio.start += off;
    audio.node.port.postMessage({start: audio.start});
    ++stats.replacements;
  }

  function feed() {
    if (!audio.node) return;
    keepOnClock();
    const rendering = Math.round(audio.context.currentTime * rate) - audio.start;
    const wanted = rendering + Math.round(lead * rate);
    // The page's view of the render time may trail the audio thread's:
    // blocks a little behind it are still posted.
    if (wanted > audio.next) mix(Math.ceil((wanted - audio.next) / 1024) * 1024, rendering - 4096);
  }

  function onOutputReport(e) {
    audio.report = e.data;
    stats.missedFrames = e.data.missed;
    feed();
  }

  // The music frame heard now, by the worklet's last report, and the demo
  // clock's frame; recorded once a frame.
  function recordSync(now) {
    const r = audio.report;
    if (!r || r.musicFrame < 0) return;
    const heardContextFrame = contextTimeHeardAt(now) * rate;
    const heard = r.musicFrame + (heardContextFrame - r.contextFrame);
    const clock = now - audio.playPerf;
    stats.sync.push([clock, heard * 1000 / rate - clock]);
  }

  // ---- what the program calls ----
  window.Module = {
    noInitialRun: true,
    canvas: canvas,
    print: function (text) { console.log(text); },
    printErr: function (text) { console.error(text); },
    onRuntimeInitialized: function () { ready('runtime'); },
    onExit: function (code) { Module.qvo.exit(code); },
    qvo: {
      stats: stats,
      present: function (image) {
        const now = performance.now();
        if (stats.lastPresent) stats.frameIntervals.push(now - stats.lastPresent);
        if (stats.lastWake) stats.frameWork.push(now - stats.lastWake);
        stats.lastPresent = now;
        ++stats.frames;
        context.putImageData(image, 0, 0);
        if (audio.node) recordSync(now);
      },
      waitFrame: function () {
        return new Promise(function (resolve) {
          let done = false;
          const wake = function () {
            if (done) return;
            done = true;
            stats.lastWake = performance.now();
            resolve();
          };
          requestAnimationFrame(wake);
          setTimeout(wake, 100);
        });
      },
      messageBox: messageBox,
      nextEvent: function () { return events.length ? events.shift() : 0; },
      // The page keeps its own title; the window's icon becomes the page's.
      windowOpen: function (title, icon, size) {
        if (!icon) return;
        const picture = document.createElement('canvas');
        picture.width = picture.height = size;
        const image = picture.getContext('2d').createImageData(size, size);
        icon.forEach(function (argb, i) {
          image.data[4 * i] = argb >>> 16 & 255;
          image.data[4 * i + 1] = argb >>> 8 & 255;
          image.data[4 * i + 2] = argb & 255;
          image.data[4 * i + 3] = argb >>> 24;
        });
        picture.getContext('2d').putImageData(image, 0, 0);
        document.querySelector('link[rel=icon]').href = picture.toDataURL();
      },
      windowShow: function (visible) { canvas.style.visibility = visible ? 'visible' : 'hidden'; },
      cursorHidden: function (hidden) { canvas.style.cursor = hidden ? 'none' : ''; },
      keepScreenAwake: function (awake) {
        if (audio.wakeLock) audio.wakeLock.release().catch(function () {});
        audio.wakeLock = null;
        if (awake && navigator.wakeLock)
          navigator.wakeLock.request('screen').then(function (lock) { audio.wakeLock = lock; }, function () {});
      },
      leaveFullScreen: function () {
        if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
      },
      exit: function (code) {
        if (stats.exitCode !== null) return;
        stats.exitCode = code;
        Module.qvo.audioStop();
        if (audio.context) audio.context.close().catch(function () {});
        canvas.style.visibility = 'hidden';
        start.textContent = 'The end. Click to watch again';
        start.onclick = function () { location.reload(); };
        start.hidden = false;
      },

      audioOpen: function () { return audio.ready; },
      decodeAudio: function (bytes) {
        return audio.context.decodeAudioData(bytes).catch(function (error) {
          console.error('The music could not be decoded: ' + error);
          return null;
        });
      },
      decoded: function (pcm) {
        stats.decodedFrames = pcm.length / 2;
        stats.firstSoundFrame = Math.floor(pcm.findIndex(function (v) { return v !== 0; }) / 2);
      },
      audioPlay: function () {
        if (!audio.buffer) audio.buffer = Module._malloc(1024 * 4);
        audio.playPerf = stats.musicStart = performance.now();
        audio.start = Math.round(contextTimeHeardAt(audio.playPerf) * rate);
        audio.next = 0;
        audio.report = null;
        audio.node = new AudioWorkletNode(audio.context, 'qvo-music-output', {numberOfInputs: 0, outputChannelCount: [2]});
        audio.node.port.onmessage = onOutputReport;
        audio.node.connect(audio.context.destination);
        audio.node.port.postMessage({start: audio.start});
        feed();
        audio.feeder = setInterval(feed, 20);
      },
      audioStop: function () {
        if (!audio.node) return;
        clearInterval(audio.feeder);
        audio.node.port.postMessage({stop: true});
        audio.node.disconnect();
        audio.node = null;
      },
    },
  };

  // ---- loading and the click to start ----
  let pack = null;
  const waiting = new Set(['runtime', 'pack']);
  function ready(what) {
    waiting.delete(what);
    if (waiting.size) return;
    stats.loadMs = performance.now();
    start.textContent = 'Click to start';
    start.disabled = false;
  }
  fetch('QuelVarnOssa.dat').then(function (response) {
    if (!response.ok) throw new Error('HTTP ' + response.status);
    return response.arrayBuffer();
  }).then(function (bytes) { pack = bytes; }, function (error) {
    console.error('QuelVarnOssa.dat could not be fetched: ' + error.message);
  }).then(function () { ready('pack'); });

  start.addEventListener('click', function run() {
    if (start.disabled || stats.started) return;
    stats.started = true;
    start.hidden = true;
    // The program asks for the sound once it runs; the output is made ready
    // first, inside the click that allows it.
    openAudio().then(function () {
      // Without the pack the program reports it missing, as on the desktop.
      if (pack) Module.FS.writeFile('/QuelVarnOssa.dat', new Uint8Array(pack));
      pack = null;
      events.push(3 << 16 | (document.hidden ? 0 : 1));
      Module.callMain(commandLine());
      Module.qvoProgramDone().then(function (code) { Module.qvo.exit(code | 0); }, function (error) {
        if (error && error.name === 'ExitStatus') return Module.qvo.exit(error.status);
        console.error('The program failed: ' + error);
        Module.qvo.exit(1);
      });
    });
  });

  function openAudio() {
    try {
      audio.context = new AudioContext({sampleRate: rate});
      audio.context.resume();
      return audio.context.audioWorklet.addModule('audio-output.js').then(function () {
        audio.ready = true;
      }, function (error) {
        console.error('No sound: the audio worklet did not load (' + error.message + ')');
      });
    } catch (error) {
      // No audio context, or no worklets outside a secure context (https or
      // this computer): the program reports that it has no sound.
      console.error('No sound: ' + error.message);
      return Promise.resolve();
    }
  }
})();
