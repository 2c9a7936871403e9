// The music's output on the audio thread. The page mixes the music (through
// the program's DSP hook) a little ahead and posts it here in blocks, each
// with the music frame it starts at; this plays music frame k at context
// frame start + k, so the music keeps to the clock it was placed on. A block
// that arrives too late is dropped (silence instead) rather than played
// late. Reports go back to the page: the context frame, the music frame
// played there (-1 for silence), and the frames since the music began that
// found no music. Blocks already played are kept a little while: a new
// placement that moves the music back finds them still here. A new
// placement takes effect at the start of a render quantum, and the page is
// told at which context frame (it measures what is heard by it).
const keptFrames = 8192;

class MusicOutput extends AudioWorkletProcessor {
  constructor() {
    super();
    this.start = null;
    this.blocks = [];
    this.missed = 0;
    this.reported = 0;
    this.port.onmessage = (e) => {
      const m = e.data;
      if (m.start !== undefined) {
        // The first placement, or a new one on the clock: the blocks that
        // came are still the music's, by their frame numbers.
        if (this.start === null) {
          this.missed = 0;
          this.playing = false;
          this.start = m.start;
        } else {
          this.nextStart = m.start;
        }
      } else if (m.stop) {
        this.start = null;
        this.nextStart = undefined;
        this.blocks = [];
      } else {
        this.blocks.push(m);
      }
    };
  }

  process(inputs, outputs) {
    const left = outputs[0][0], right = outputs[0][1] || outputs[0][0];
    if (this.start === null) return true;
    if (this.nextStart !== undefined) {
      this.start = this.nextStart;
      this.nextStart = undefined;
      this.port.postMessage({placed: this.start, contextFrame: currentFrame});
    }
    let first = -1;
    const blocks = this.blocks;
    const from = currentFrame - this.start;
    while (blocks.length && blocks[0].frame + blocks[0].left.length <= from - keptFrames) blocks.shift();
    let b = 0;
    for (let i = 0; i < left.length; ++i) {
      const wanted = from + i;
      if (wanted < 0) continue;
      while (b < blocks.length && blocks[b].frame + blocks[b].left.length <= wanted) ++b;
      const block = blocks[b];
      if (!block || block.frame > wanted) {
        if (this.playing) ++this.missed;
        continue;
      }
      this.playing = true;
      left[i] = block.left[wanted - block.frame];
      right[i] = block.right[wanted - block.frame];
      if (i === 0) first = wanted;
    }
    if (currentFrame - this.reported >= 2048) {
      this.reported = currentFrame;
      this.port.postMessage({contextFrame: currentFrame, musicFrame: first, missed: this.missed});
    }
    return true;
  }
}

registerProcessor('qvo-music-output', MusicOutput);
