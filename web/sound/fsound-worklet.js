// The sound layer's player on the audio rendering thread. It plays the frames the layer
// mixes on the page's thread and keeps a little ahead: whenever what it holds plus what it
// has asked for falls a request's worth below its buffer, it asks the page for the
// difference, so a frame of the page that runs late is bridged without a gap.
//
// From the page: {frames: Float32Array (stereo, interleaved, transferred), first: the
// layer's index of its first frame}. To the page: {need: frames} to ask for more, and
// {ourFrame, ctxFrame} whenever the layer's frames start to be played at a new
// place in the context's time (the first frame, and after every underrun), and {dry: the
// layer's frame that would have come next} when they run out, which is how the page knows
// which frame the listener hears.
class FsoundProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const opts = options.processorOptions;
    this.bufferFrames = opts.bufferFrames;   // kept queued or asked for
    this.requestFrames = opts.requestFrames; // the smallest request
    this.queue = [];       // {frames, first}, oldest first
    this.offset = 0;       // frames of queue[0] already played
    this.queued = 0;       // frames held, not yet played
    this.asked = 0;        // frames asked for, not yet come
    this.lastShift = null; // our frame minus context frame of the run being played
    this.dry = false;      // ran out, the page told
    this.port.onmessage = (e) => {
      const n = e.data.frames.length / 2;
      this.queue.push(e.data);
      this.queued += n;
      this.asked = Math.max(0, this.asked - n);
    };
    this.ask();
  }

  ask() {
    const want = this.bufferFrames - this.queued - this.asked;
    if (want >= this.requestFrames) {
      this.asked += want;
      this.port.postMessage({need: want});
    }
  }

  process(inputs, outputs) {
    const left = outputs[0][0];
    const right = outputs[0][1] || left;
    const n = left.length;
    let i = 0;
    while (i < n && this.queue.length) {
      const chunk = this.queue[0];
      const ours = chunk.first + this.offset;
      const shift = ours - (currentFrame + i);
      if (shift !== this.lastShift) {
        this.lastShift = shift;
        this.port.postMessage({ourFrame: ours, ctxFrame: currentFrame + i});
      }
      this.dry = false;
      const frames = chunk.frames;
      const k = Math.min(n - i, frames.length / 2 - this.offset);
      for (let j = 0; j < k; j++) {
        left[i + j] = frames[2 * (this.offset + j)];
        right[i + j] = frames[2 * (this.offset + j) + 1];
      }
      i += k;
      this.offset += k;
      this.queued -= k;
      if (this.offset * 2 === frames.length) {
        this.queue.shift();
        this.offset = 0;
      }
    }
    if (i < n) {
      // Nothing to play: silence, told once the layer has begun to send. The run played up
      // to here, so its shift still says which frame was due.
      left.fill(0, i);
      right.fill(0, i);
      if (this.lastShift !== null && !this.dry) {
        this.dry = true;
        this.port.postMessage({dry: this.lastShift + currentFrame + i});
      }
    }
    this.ask();
    return true;
  }
}

registerProcessor('fsound', FsoundProcessor);
