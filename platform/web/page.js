// Quel Varn Ossa in a page. Fetches the pack beside the page (saying how far
// it got, or why it cannot start), waits for a click, Enter or Space
// (browsers allow sound and full screen only after one), then runs the
// program with the query string as its command line:
//   index.html?credits&hollowmere   ->   "credits hollowmere"
// The program reaches the page through Module.qvo (library_web.js): the
// canvas, the page's keys, message boxes, and the sound. Module is the
// instance of the program that runs, or the next one.
'use strict';

(function () {
  const canvas = document.getElementById('screen');
  const context = canvas.getContext('2d', {alpha: false});
  const stage = document.getElementById('stage');
  const start = document.getElementById('start');
  const box = document.getElementById('box');
  const status = document.getElementById('status');
  const fullScreenButton = document.getElementById('fullscreen');
  const rate = 44100;
  const packName = 'QuelVarnOssa.dat';

  // What the checks and a curious user can read from the console; a run
  // starts with the fields of freshRunStats.
  function freshRunStats() {
    return {started: false, clickAt: null, musicStart: null, exitCode: null, frames: 0, lastPresent: 0,
      lastWake: 0, frameIntervals: [], frameWork: [], sync: [], missedFrames: 0, replacements: 0, boxes: [],
      decodedFrames: 0, firstSoundFrame: -1, decodeWaitMs: null, musicPredecoded: false, programErrors: [],
      marks: {}, audioPrepared: false, musicPlaced: false};
  }
  const stats = Object.assign(freshRunStats(), {loadMs: null, loadProblem: null, runs: 0});

  // A run's moments after its click, in ms of performance.now(), by name
  // (stats.marks): where the time to the music goes.
  function mark(name) {
    const now = performance.now();
    stats.marks[name] = now;
    return now;
  }

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
    if (e.key === 'f' || e.key === 'F') toggleFullScreen();
    if (!stats.started || stats.exitCode !== null) {
      if (e.key === 'Enter' || e.key === ' ') {
        e.preventDefault();
        run();
      }
      return;
    }
    const key = virtualKey(e);
    if (key) { events.push(1 << 16 | key); e.preventDefault(); }
  });
  document.addEventListener('keyup', function (e) {
    const key = virtualKey(e);
    if (key && stats.started && stats.exitCode === null && !box.open) events.push(2 << 16 | key);
  });
  document.addEventListener('visibilitychange', function () {
    events.push(3 << 16 | (document.hidden ? 0 : 1));
  });
  canvas.addEventListener('mousemove', function () { events.push(5 << 16); });
  canvas.addEventListener('dblclick', toggleFullScreen);

  // ---- message boxes: a modal dialog with the text and its buttons ----
  let answerBox = null;
  function answerBoxKey(e) {
    e.preventDefault();
    const buttons = box.querySelectorAll('button');
    if (e.key === 'Enter') buttons[0].click();
    else if (e.key === 'Escape') buttons[buttons.length - 1].click();
  }
  // Escape answers with the last button (answerBoxKey), never by closing
  // the dialog with the program still waiting for its answer.
  box.addEventListener('cancel', function (e) { e.preventDefault(); });
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
      box.showModal();
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
  // Seconds mixed ahead of the render time: a page on a busy core can miss
  // its timer for a second or more (a garbage collection, a tab switch, a
  // compile) and the worklet must not run dry meanwhile.
  const lead = 2;
  const audio = {context: null, prepared: null, ready: false, node: null, buffer: 0, playPerf: 0, start: 0, next: 0,
    feeder: 0, offChecks: 0, report: null, placements: [], wakeLock: null};

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
  // drifting device; an output whose thread is late skips whole buffers of
  // 10 ms and more): once the music heard is more than 3 ms off the clock
  // two checks running, it is placed on the clock again. It is checked at
  // every frame and every feed, so two checks take about 10 ms; a single
  // check is not trusted, since a timestamp can be a buffer off for one
  // callback and right again at the next.
  function keepOnClock() {
    const now = performance.now();
    const off = Math.round(contextTimeHeardAt(now) * rate - audio.start - (now - audio.playPerf) * rate / 1000);
    audio.offChecks = Math.abs(off) > 3 * rate / 1000 ? audio.offChecks + 1 : 0;
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

  // The placement in effect at a context frame, by the worklet's word.
  function startAt(contextFrame) {
    const p = audio.placements;
    for (let i = p.length - 1; i > 0; --i) if (p[i].contextFrame <= contextFrame) return p[i].start;
    return p[0].start;
  }

  function onOutputReport(e) {
    if (e.data.placed !== undefined) {
      audio.placements.push({contextFrame: e.data.contextFrame, start: e.data.placed});
      if (audio.placements.length > 16) audio.placements.shift();
      return;
    }
    audio.report = e.data;
    stats.missedFrames = e.data.missed;
    feed();
  }

  // The music frame heard now, by the worklet's last report and the
  // placements made since, and the demo clock's frame; recorded once a
  // frame.
  function recordSync(now) {
    const r = audio.report;
    if (!r || r.musicFrame < 0) return;
    const heardContextFrame = contextTimeHeardAt(now) * rate;
    const heard = r.musicFrame + (heardContextFrame - r.contextFrame) -
      (startAt(heardContextFrame) - startAt(r.contextFrame));
    const clock = now - audio.playPerf;
    stats.sync.push([clock, heard * 1000 / rate - clock]);
  }

  // ---- what the program calls: every instance's Module.qvo ----
  const qvo = {
    stats: stats,
    present: function (image) {
      const now = performance.now();
      if (stats.lastPresent) stats.frameIntervals.push(now - stats.lastPresent);
      if (stats.lastWake) stats.frameWork.push(now - stats.lastWake);
      stats.lastPresent = now;
      if (++stats.frames === 1) mark('firstFrame');
      context.putImageData(image, 0, 0);
      if (audio.node) {
        keepOnClock();
        recordSync(now);
      }
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
      qvo.audioStop();
      if (audio.context) audio.context.close().catch(function () {});
      audio.context = null;
      canvas.style.visibility = 'hidden';
      document.body.classList.remove('running');
      // The page already says why nothing can run; the program's own
      // words (its standard error) go beneath.
      if (loadProblem) {
        if (stats.programErrors.length) say(loadProblem + '\n\n' + stats.programErrors.join('\n'), 'problem');
        return;
      }
      // The next instance and its sound output are made now, so that one
      // click starts them.
      prepareAudio();
      next = makeInstance();
      next.then(placeMusic, function () {});
      next.catch(function (error) { failed('The program could not be loaded again: ' + error.message + '.'); });
      start.textContent = 'The end. Click to watch again';
      start.hidden = false;
      start.focus();
    },

    audioOpen: function () { return audio.ready; },
    // The image decoded before the click is taken when it is the one asked
    // for (the pre-roll then has nothing to wait for).
    // Settles with the music in the instance's memory ({at, samples} of
    // interleaved 16-bit stereo), or null.
    decodeAudio: function (bytes, instance) {
      const asked = mark('decodeAsked');
      const image = new Uint8Array(bytes);
      stats.musicPredecoded = Boolean(predecoded && sameBytes(predecoded.image, image));
      const fresh = function () { return audio.context.decodeAudioData(bytes).then(interleave); };
      const decoding = stats.musicPredecoded ? predecoded.pcm.then(function (pcm) { return pcm || fresh(); }) : fresh();
      return decoding.then(function (pcm) {
        stats.decodeWaitMs = mark('decoded') - asked;
        return pcm && musicIn(instance, pcm);
      }, function (error) {
        console.error('The music could not be decoded: ' + error);
        return null;
      });
    },
    decoded: function (pcm) {
      mark('converted');
      stats.decodedFrames = pcm.length / 2;
      stats.firstSoundFrame = Math.floor(pcm.findIndex(function (v) { return v !== 0; }) / 2);
    },
    audioPlay: function () {
      // A block in the running instance's memory (each run has its own).
      if (audio.bufferOf !== Module) audio.buffer = Module._malloc(1024 * 4);
      audio.bufferOf = Module;
      audio.playPerf = stats.musicStart = performance.now();
      audio.start = Math.round(contextTimeHeardAt(audio.playPerf) * rate);
      audio.next = 0;
      audio.report = null;
      audio.placements = [{contextFrame: -Infinity, start: audio.start}];
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
  };

  // ---- loading: the program, the pack, and what the page says meanwhile ----
  // The bytes of the pack stay here for the runs to come: each run is a
  // fresh instance of the program, with its own file system.
  let pack = null;
  let next = null;          // the promise of the instance the next click runs
  let loadProblem = null;   // why nothing can be started, once known
  let predecoded = null;    // {image, decoded}: the run's music, decoded before the click
  let compiled = null;

  function say(text, kind) {
    status.textContent = text;
    status.className = kind || '';
    status.hidden = !text;
  }

  function megabytes(n) { return (n / 1e6).toFixed(1); }
  function progress(received, total) {
    if (total) say('Loading... ' + megabytes(received) + ' of ' + megabytes(total) + ' MB (' +
      Math.floor(100 * received / total) + ' %)');
    else say('Loading... ' + megabytes(received) + ' MB');
  }

  // The pack, with its progress. Resolves {bytes, problem}: the bytes that
  // arrived (null when none did) and, when they are not the whole pack, why.
  function fetchPack() {
    return fetch(packName).then(function (response) {
      if (!response.ok) {
        return {bytes: null, problem: packName + ' could not be loaded: the server answered ' +
          (response.status + ' ' + response.statusText).trim() + '.'};
      }
      const total = Number(response.headers.get('Content-Length')) || 0;
      const reader = response.body.getReader();
      const chunks = [];
      let received = 0;
      const joined = function () {
        const bytes = new Uint8Array(received);
        let at = 0;
        chunks.forEach(function (chunk) { bytes.set(chunk, at); at += chunk.length; });
        return bytes;
      };
      const cutShort = function (why) {
        return {bytes: joined(), problem: packName + ' arrived cut short: ' + received.toLocaleString('en') +
          (total ? ' of ' + total.toLocaleString('en') : '') + ' bytes' + (why ? ' (' + why + ')' : '') + '.'};
      };
      const more = function () {
        return reader.read().then(function (part) {
          if (part.done) return total && received < total ? cutShort('') : {bytes: joined(), problem: null};
          chunks.push(part.value);
          received += part.value.length;
          progress(received, total);
          return more();
        }, function (error) { return cutShort(error.message); });
      };
      progress(0, total);
      return more();
    }, function (error) {
      return {bytes: null, problem: packName + ' could not be loaded: ' + error.message + '.'};
    });
  }

  // A new instance of the program over the one compiled module; its file
  // system holds the pack, if any arrived.
  function makeInstance() {
    if (!compiled) {
      compiled = fetch('quelvarnossa.wasm').then(function (response) {
        if (!response.ok) throw new Error('quelvarnossa.wasm: the server answered ' + response.status);
        return response.arrayBuffer();
      }).then(function (bytes) { return WebAssembly.compile(bytes); });
    }
    const instance = {
      noInitialRun: true,
      canvas: canvas,
      print: function (text) { console.log(text); },
      printErr: function (text) {
        console.error(text);
        stats.programErrors.push(text);
      },
      onExit: function (code) { qvo.exit(code); },
      instantiateWasm: function (imports, done) {
        compiled.then(function (module) {
          return WebAssembly.instantiate(module, imports).then(function (made) { done(made, module); });
        }).catch(function (error) { failed('The program could not be loaded: ' + error.message + '.'); });
        return {};
      },
      qvo: qvo,
    };
    return createQuelVarnOssa(instance).then(function () {
      if (pack) instance.FS.writeFile('/' + packName, pack);
      return instance;
    });
  }

  // The instance's answer on the pack: 0 when the program can read it.
  function packCheck(instance) {
    const at = instance._malloc(pack.length);
    instance.HEAPU8.set(pack, at);
    const code = instance._qvoPackCheck(at, pack.length);
    instance._free(at);
    return code;
  }

  // The MP3 image the run will decode, decoded now (a context that plays
  // nothing may decode before any click).
  function predecode(instance) {
    const at = instance._malloc(pack.length), line = instance.allocateUTF8(commandLine().join(' '));
    const size = instance._malloc(4);
    instance.HEAPU8.set(pack, at);
    const image = instance._qvoMusicImage(at, pack.length, line, size);
    const length = instance.HEAP32[size >> 2];
    [at, line, size].forEach(function (p) { instance._free(p); });
    if (!image) return;
    const bytes = instance.HEAPU8.slice(image, image + length);
    instance._free(image);
    let decoder;
    try { decoder = new OfflineAudioContext({numberOfChannels: 2, length: 1, sampleRate: rate}); } catch (e) { return; }
    predecoded = {image: bytes, pcm: decoder.decodeAudioData(bytes.slice().buffer).then(interleave).catch(function () {
      return null;
    })};
  }

  // The predecoded music, copied into an instance before its click (a copy
  // of 27 MB into fresh memory takes 0.1 s or more). Not into one that runs.
  function placeMusic(instance) {
    if (!predecoded) return;
    predecoded.pcm.then(function (pcm) {
      if (!pcm || instance.qvoStarted || instance.qvoMusic) return;
      const at = instance._malloc(pcm.length * 2);
      if (!at) return;
      instance.HEAP16.set(pcm, at >> 1);
      instance.qvoMusic = {pcm: pcm, at: at};
    });
  }

  // The music in the instance's memory: where placeMusic put it, or a copy
  // made now. Null when there is no room.
  function musicIn(instance, pcm) {
    const placed = instance.qvoMusic;
    instance.qvoMusic = null;
    stats.musicPlaced = Boolean(placed && placed.pcm === pcm);
    if (stats.musicPlaced) return {at: placed.at, samples: pcm.length};
    if (placed) instance._free(placed.at);
    const at = instance._malloc(pcm.length * 2);
    if (!at) return null;
    instance.HEAP16.set(pcm, at >> 1);
    return {at: at, samples: pcm.length};
  }

  // A decoded AudioBuffer as interleaved 16-bit stereo (a mono one on both
  // sides), as the program's mixer takes it. Done in slices with the page's
  // turn between them: before the click, a click must not wait for it.
  function interleave(decoded) {
    const frames = decoded.length, pcm = new Int16Array(frames * 2);
    const left = decoded.getChannelData(0), right = decoded.numberOfChannels > 1 ? decoded.getChannelData(1) : left;
    const sample = function (v) { return Math.max(-32768, Math.min(32767, Math.round(v * 32768))); };
    return new Promise(function (resolve) {
      let i = 0;
      (function slice() {
        for (const end = Math.min(frames, i + 262144); i < end; ++i) {
          pcm[2 * i] = sample(left[i]);
          pcm[2 * i + 1] = sample(right[i]);
        }
        if (i < frames) setTimeout(slice, 0);
        else resolve(pcm);
      })();
    });
  }

  function sameBytes(a, b) {
    if (a.length !== b.length) return false;
    // Four bytes at a time where both views allow it.
    let i = 0;
    if (a.byteOffset % 4 === 0 && b.byteOffset % 4 === 0) {
      const a32 = new Uint32Array(a.buffer, a.byteOffset, a.length >> 2);
      const b32 = new Uint32Array(b.buffer, b.byteOffset, b.length >> 2);
      for (; i < a32.length; ++i) if (a32[i] !== b32[i]) return false;
      i *= 4;
    }
    for (; i < a.length; ++i) if (a[i] !== b[i]) return false;
    return true;
  }

  // Nothing can be started: the page says why, with no start button.
  function failed(text) {
    if (loadProblem) return;
    loadProblem = text;
    stats.loadProblem = text;
    stats.loadMs = performance.now();
    start.hidden = true;
    document.body.classList.add('problem');
    say(text, 'problem');
  }

  if (location.protocol === 'file:') {
    failed('This page has to be served, not opened as a file: a browser loads no WebAssembly and no data ' +
      'into a page opened from file://. Serve this folder, e.g. with "python3 -m http.server -b 127.0.0.1 8080" ' +
      'run in it (or scripts/serve-web.sh in the source tree), then open http://127.0.0.1:8080/');
    return;
  }

  Promise.all([fetchPack(), Promise.resolve().then(makeInstance)]).then(function (loaded) {
    const instance = loaded[1];
    window.Module = instance;
    pack = loaded[0].bytes;
    if (pack) instance.FS.writeFile('/' + packName, pack);
    let problem = loaded[0].problem;
    if (!problem && packCheck(instance) !== 0) problem = packName + ' is damaged: the program cannot read it.';
    if (problem) {
      failed(problem);
      // The program says it too, in its own words (box and standard error),
      // as it does on the desktop; no click is needed for a box.
      runProgram(instance);
      return;
    }
    predecode(instance);
    placeMusic(instance);
    prepareAudio();
    next = Promise.resolve(instance);
    stats.loadMs = performance.now();
    say('');
    start.hidden = false;
    start.disabled = false;
    start.focus();
  }).catch(function (error) {
    failed('The program could not be loaded: ' + error.message + '.');
  });

  function runProgram(instance) {
    mark('callMain');
    instance.qvoStarted = true;
    window.Module = instance;
    events.length = 0;
    events.push(3 << 16 | (document.hidden ? 0 : 1));
    instance.callMain(commandLine());
    instance.qvoProgramDone().then(function (code) { qvo.exit(code | 0); }, function (error) {
      if (error && error.name === 'ExitStatus') return qvo.exit(error.status);
      console.error('The program failed: ' + error);
      qvo.exit(1);
    });
  }

  // A click, Enter or Space starts a run; after one, the same starts the next.
  function run() {
    if (start.disabled || start.hidden || !next || (stats.started && stats.exitCode === null)) return;
    const instance = next;
    next = null;
    Object.assign(stats, freshRunStats(), {started: true, clickAt: performance.now(), runs: stats.runs + 1});
    start.hidden = true;
    document.body.classList.add('running');
    // The output was made and its worklet loaded while the page waited;
    // the click is what lets it run. The program asks for the sound once it
    // runs: it starts when the worklet is there.
    stats.audioPrepared = audio.ready;
    if (audio.context) audio.context.resume().then(function () { mark('audioRunning'); }, function () {});
    Promise.all([instance, audio.prepared]).then(function (both) { runProgram(both[0]); });
  }
  start.addEventListener('click', run);
  fullScreenButton.addEventListener('click', toggleFullScreen);

  // The next run's sound output, made before its click: a context may be
  // created, and load its worklet, before the page is allowed to play (it
  // stays suspended until then). audio.prepared settles when it is ready or
  // cannot be.
  function prepareAudio() {
    audio.ready = false;
    try {
      audio.context = new AudioContext({sampleRate: rate});
      audio.prepared = audio.context.audioWorklet.addModule('audio-output.js').then(function () {
        audio.ready = true;
      }, function (error) {
        console.error('No sound: the audio worklet did not load (' + error.message + ')');
      });
    } catch (error) {
      // No audio context, or no worklets outside a secure context (https or
      // this computer): the program reports that it has no sound.
      console.error('No sound: ' + error.message);
      audio.context = null;
      audio.prepared = Promise.resolve();
    }
  }
})();
