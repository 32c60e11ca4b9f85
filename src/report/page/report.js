// Draws the report's charts from the data the sniffer put into the page.
// Every time chart shares one time axis: a zoom or pan in one moves all.
(function () {
  'use strict';

  var data = JSON.parse(document.getElementById('zv-data').textContent);
  var texts = data.texts;
  var lanesNames = data.lanes;
  var SLOTS = lanesNames.length - 2;
  var PRESENCE = SLOTS;
  var DROP = SLOTS + 1;
  var LOCK = lanesNames.indexOf('lock');
  var DOOR = lanesNames.indexOf('door');
  var charts = {};
  var drawn = {};
  var expected = ['timeline', 'answers', 'histogram', 'load', 'drops', 'mix'];

  function utcDate(ts) { return uPlot.tzDate(new Date(ts * 1e3), 'Etc/UTC'); }

  function pad(n, w) { n = String(n); while (n.length < w) { n = '0' + n; } return n; }

  function clock(ts) {
    var d = new Date(ts * 1e3);
    return d.getUTCFullYear() + '-' + pad(d.getUTCMonth() + 1, 2) + '-' + pad(d.getUTCDate(), 2) + ' ' +
      pad(d.getUTCHours(), 2) + ':' + pad(d.getUTCMinutes(), 2) + ':' + pad(d.getUTCSeconds(), 2) + '.' +
      pad(d.getUTCMilliseconds(), 3);
  }

  function widthOf(id) {
    var el = document.getElementById(id);
    return Math.max(400, (el && el.clientWidth) || 1000);
  }

  function markDrawn(name) {
    return function () {
      if (drawn[name]) { return; }
      drawn[name] = true;
      var done = expected.filter(function (n) { return drawn[n]; });
      document.body.dataset.drawn = done.join(' ');
      if (done.length === expected.length) {
        document.body.dataset.ready = 'yes';
        document.body.dataset.readyMs = String(Math.round(performance.now()));
        // Whatever the page fetched: a self-contained report fetches nothing.
        document.body.dataset.resources = String(performance.getEntriesByType('resource').length);
      }
    };
  }

  // --- one time axis for all -------------------------------------------------------
  var timeCharts = [];
  var syncing = false;
  function followX(u, key) {
    if (key !== 'x' || syncing) { return; }
    syncing = true;
    var min = u.scales.x.min;
    var max = u.scales.x.max;
    timeCharts.forEach(function (other) {
      if (other !== u && (other.scales.x.min !== min || other.scales.x.max !== max)) {
        other.setScale('x', { min: min, max: max });
      }
    });
    syncing = false;
  }
  function zeroUp(u, min, max) { return [0, max > 0 ? max * 1.1 : 1]; }
  function xRange(u, min, max) {
    return min == null || max == null ? fullRange() : min === max ? [min - 1, max + 1] : [min, max];
  }
  function fullRange() {
    var first = data.first;
    var last = data.last > data.first ? data.last : data.first + 1;
    return [first, last];
  }
  // Wheel zooms around the pointer; with shift it pans.
  function wheelZoom(u) {
    u.over.addEventListener('wheel', function (e) {
      e.preventDefault();
      var min = u.scales.x.min;
      var max = u.scales.x.max;
      var span = max - min;
      if (e.shiftKey) {
        var step = span * 0.1 * (e.deltaY > 0 ? 1 : -1);
        u.setScale('x', { min: min + step, max: max + step });
        return;
      }
      var at = u.posToVal(e.offsetX, 'x');
      var factor = e.deltaY > 0 ? 1.25 : 0.8;
      u.setScale('x', { min: at - (at - min) * factor, max: at + (max - at) * factor });
    }, { passive: false });
  }
  // Tick labels in 24-hour UTC, the date under the first tick and where it changes.
  function timeTicks(u, splits) {
    var lastDay = null;
    return splits.map(function (ts) {
      if (ts == null) { return null; }
      var text = clock(ts);
      var day = text.slice(0, 10);
      var time = ts % 1 !== 0 ? text.slice(11, 23) : text.slice(11, 19);
      var label = day !== lastDay ? time + '\n' + day : time;
      lastDay = day;
      return label;
    });
  }
  var timeAxis = { values: timeTicks, size: 50 };
  function timeOptions(name, height, extra) {
    var opts = {
      width: widthOf('chart-' + name),
      height: height,
      tzDate: utcDate,
      cursor: { drag: { x: true, y: false }, sync: { key: 'zv-time' } },
      scales: { x: { time: true, range: xRange } },
      hooks: { setScale: [followX], draw: [markDrawn(name)] },
      series: [{ value: function (u, v) { return v == null ? '-' : clock(v); } }],
      axes: [timeAxis]
    };
    Object.keys(extra).forEach(function (k) { opts[k] = extra[k]; });
    return opts;
  }
  function makeTimeChart(name, opts, series) {
    var u = new uPlot(opts, series, document.getElementById('chart-' + name));
    charts[name] = u;
    timeCharts.push(u);
    wheelZoom(u);
    return u;
  }

  // --- colours -----------------------------------------------------------------------
  var palette = ['#1f77b4', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2', '#17becf', '#bcbd22', '#7f7f7f',
    '#aec7e8', '#ffbb78', '#c5b0d5', '#c49c94'];
  var stateColour = {};
  function colourOf(lane, text) {
    var key = lane + ':' + text;
    if (!(key in stateColour)) {
      stateColour[key] = palette[Object.keys(stateColour).length % palette.length];
    }
    return stateColour[key];
  }
  var markColour = { drop: '#d62728', access: '#2ca02c', event: '#ff7f0e', dtc: '#9467bd', alarm: '#e377c2' };

  // --- device timelines --------------------------------------------------------------
  var devices = data.devices;
  var rows = ['presence', 'lock', 'door', 'marks'];
  // Per device: the intervals of each row and the marks, built once.
  var lanes = devices.map(function (dev) {
    var lane = { address: dev.a, intervals: { presence: [], lock: [], door: [] }, marks: [] };
    var open = {};
    dev.events.forEach(function (ev) {
      var t = ev[0];
      var kind = ev[1];
      var text = texts[ev[2]];
      var row = kind === PRESENCE ? 'presence' : kind === LOCK ? 'lock' : kind === DOOR ? 'door' : null;
      if (row) {
        if (open[row]) { open[row].end = t; }
        open[row] = { start: t, end: null, text: text, lane: kind };
        if (row !== 'presence') { colourOf(row, text); }
        lane.intervals[row].push(open[row]);
      } else {
        lane.marks.push({ t: t, text: text, lane: kind });
      }
    });
    return lane;
  });

  var laneHeight = 32;
  function laneTop(u, i) {
    return u.valToPos(lanes.length - i, 'y', true);
  }
  function drawLanes(u) {
    var ctx = u.ctx;
    var px = uPlot.pxRatio;
    var left = u.bbox.left;
    var right = u.bbox.left + u.bbox.width;
    var min = u.scales.x.min;
    var max = u.scales.x.max;
    var end = fullRange()[1];
    ctx.save();
    ctx.beginPath();
    ctx.rect(u.bbox.left, u.bbox.top, u.bbox.width, u.bbox.height);
    ctx.clip();
    lanes.forEach(function (lane, i) {
      var top = laneTop(u, i);
      var height = laneTop(u, i + 1) - top;
      var rowHeight = height / (rows.length + 0.5);
      rows.forEach(function (row, r) {
        if (row === 'marks') { return; }
        lane.intervals[row].forEach(function (iv) {
          var stop = iv.end == null ? end : iv.end;
          if (stop < min || iv.start > max) { return; }
          var x0 = Math.max(left, u.valToPos(iv.start, 'x', true));
          var x1 = Math.min(right, u.valToPos(stop, 'x', true));
          ctx.fillStyle = row === 'presence' ? (iv.text === 'ONLINE' ? '#2ca02c' : '#c7c7c7') : colourOf(row, iv.text);
          ctx.fillRect(x0, top + r * rowHeight + px, Math.max(px, x1 - x0), rowHeight - 2 * px);
        });
      });
      var markTop = top + 3 * rowHeight;
      lane.marks.forEach(function (m) {
        if (m.t < min || m.t > max) { return; }
        var x = u.valToPos(m.t, 'x', true);
        ctx.fillStyle = markColour[lanesNames[m.lane]] || '#555';
        ctx.fillRect(x - px, markTop + px, 2 * px, rowHeight - 2 * px);
      });
    });
    ctx.restore();
  }

  var tip = document.createElement('div');
  tip.className = 'zv-tip';
  document.body.appendChild(tip);
  function laneTextAt(u, left, top) {
    if (left == null || left < 0 || top < 0) { return null; }
    var value = u.posToVal(top, 'y');
    var i = lanes.length - Math.ceil(value);
    if (i < 0 || i >= lanes.length) { return null; }
    var lane = lanes[i];
    var laneTopCss = u.valToPos(lanes.length - i, 'y');
    var rowHeight = (u.valToPos(lanes.length - i - 1, 'y') - laneTopCss) / (rows.length + 0.5);
    var r = Math.floor((top - laneTopCss) / rowHeight);
    var t = u.posToVal(left, 'x');
    var head = 'device ' + lane.address + ', ';
    if (r >= 0 && r < 3) {
      var found = null;
      lane.intervals[rows[r]].forEach(function (iv) { if (iv.start <= t) { found = iv; } });
      if (!found) { return null; }
      return head + rows[r] + ': ' + found.text + ' since ' + clock(found.start);
    }
    var best = null;
    var bestDistance = 6;
    lane.marks.forEach(function (m) {
      var d = Math.abs(u.valToPos(m.t, 'x') - left);
      if (d <= bestDistance) { bestDistance = d; best = m; }
    });
    return best ? head + lanesNames[best.lane] + ': ' + best.text + ' at ' + clock(best.t) : null;
  }
  function showTip(u) {
    var text = laneTextAt(u, u.cursor.left, u.cursor.top);
    if (!text) { tip.style.display = 'none'; return; }
    var rect = u.over.getBoundingClientRect();
    tip.textContent = text;
    tip.style.display = 'block';
    tip.style.left = (window.scrollX + rect.left + u.cursor.left + 12) + 'px';
    tip.style.top = (window.scrollY + rect.top + u.cursor.top + 12) + 'px';
  }

  var range = fullRange();
  var timelineOpts = timeOptions('timeline', Math.max(120, lanes.length * laneHeight + 50), {
    legend: { show: false },
    scales: { x: { time: true, range: xRange },
      y: { auto: false, range: [0, Math.max(1, lanes.length)] } },
    axes: [timeAxis, {
      size: 70,
      splits: function () { return lanes.map(function (l, i) { return lanes.length - i - 0.5; }); },
      values: function (u, splits) {
        return splits.map(function (s) { var l = lanes[lanes.length - Math.round(s + 0.5)]; return l ? 'device ' + l.address : ''; });
      },
      grid: { show: false }
    }],
    series: [{}, { label: 'lanes', show: true, stroke: 'transparent', points: { show: false } }]
  });
  timelineOpts.hooks.draw.unshift(drawLanes);
  timelineOpts.hooks.setCursor = [showTip];
  makeTimeChart('timeline', timelineOpts, [range, [null, null]]);
  // What the colours of the lanes mean.
  (function legend() {
    var box = document.createElement('div');
    box.className = 'zv-legend';
    var items = [['#2ca02c', 'online'], ['#c7c7c7', 'offline']];
    Object.keys(stateColour).forEach(function (key) { items.push([stateColour[key], key.replace(':', ': ')]); });
    Object.keys(markColour).forEach(function (name) { items.push([markColour[name], name + ' (mark)']); });
    items.push(['#555', 'other states (mark)']);
    items.forEach(function (item) {
      var span = document.createElement('span');
      var swatch = document.createElement('i');
      swatch.style.background = item[0];
      span.appendChild(swatch);
      span.appendChild(document.createTextNode(item[1]));
      box.appendChild(span);
    });
    document.getElementById('chart-timeline').appendChild(box);
  }());
  charts.timeline.over.addEventListener('mouseleave', function () { tip.style.display = 'none'; });

  // --- answer times ------------------------------------------------------------------
  var select = document.getElementById('answer-device');
  var answering = devices.filter(function (d) { return d.answers && d.answers.n && d.answers.n.length; });
  if (answering.length > 1 && answering.length <= 16) {
    select.appendChild(new Option('all', 'all'));
  }
  answering.forEach(function (d) { select.appendChild(new Option('device ' + d.a, String(d.a))); });

  function answerData(chosen) {
    var stamps = {};
    chosen.forEach(function (d) {
      d.answers.n.forEach(function (n, k) { if (n) { stamps[d.answers.t0 + k * d.answers.w] = true; } });
    });
    var xs = Object.keys(stamps).map(Number).sort(function (a, b) { return a - b; });
    if (xs.length === 0) { xs = range.slice(); }
    var index = {};
    xs.forEach(function (x, k) { index[x] = k; });
    var columns = [xs];
    chosen.forEach(function (d) {
      var min = new Array(xs.length).fill(null);
      var max = new Array(xs.length).fill(null);
      d.answers.n.forEach(function (n, k) {
        if (!n) { return; }
        var at = index[d.answers.t0 + k * d.answers.w];
        min[at] = d.answers.min[k];
        max[at] = d.answers.max[k];
      });
      columns.push(min, max);
    });
    columns.push(xs.map(function () { return data.timeout_ms; }));
    return columns;
  }
  function answerSeries(chosen) {
    var series = [{ value: function (u, v) { return v == null ? '-' : clock(v); } }];
    chosen.forEach(function (d, k) {
      var colour = palette[k % palette.length];
      ['fastest', 'slowest'].forEach(function (what) {
        series.push({ label: 'device ' + d.a + ' ' + what, stroke: colour, paths: function () { return null; },
          points: { show: true, size: what === 'fastest' ? 4 : 6, stroke: colour, fill: what === 'fastest' ? colour : '#fff' } });
      });
    });
    series.push({ label: 'time-out', stroke: '#d62728', dash: [6, 4], width: 1, points: { show: false } });
    return series;
  }
  function histogramOf(chosen) {
    var sum = new Array(257).fill(0);
    chosen.forEach(function (d) { d.hist.forEach(function (n, k) { sum[k] += n; }); });
    var top = data.timeout_ms + 10;
    sum.forEach(function (n, k) { if (n) { top = Math.max(top, k + 1); } });
    var xs = [];
    var ys = [];
    for (var k = 0; k <= Math.min(top, 256); ++k) { xs.push(k); ys.push(sum[k]); }
    return [xs, ys];
  }
  function chosenDevices() {
    if (select.value === 'all') { return answering; }
    return answering.filter(function (d) { return String(d.a) === select.value; });
  }
  function drawAnswers() {
    var chosen = chosenDevices();
    if (charts.answers) {
      timeCharts.splice(timeCharts.indexOf(charts.answers), 1);
      charts.answers.destroy();
    }
    var opts = timeOptions('answers', 300, {
      scales: { x: { time: true, range: xRange },
        y: { range: function (u, min, max) { return [0, Math.max(data.timeout_ms + 20, max || 0)]; } } },
      axes: [timeAxis, { label: 'ms', size: 60 }],
      series: answerSeries(chosen)
    });
    var keep = timeCharts[0] ? [timeCharts[0].scales.x.min, timeCharts[0].scales.x.max] : null;
    makeTimeChart('answers', opts, answerData(chosen));
    if (keep && keep[0] != null) { charts.answers.setScale('x', { min: keep[0], max: keep[1] }); }
    var hist = histogramOf(chosen);
    if (charts.histogram) {
      charts.histogram.setData(hist);
    }
  }
  function drawTimeoutLine(u) {
    var x = u.valToPos(data.timeout_ms, 'x', true);
    var ctx = u.ctx;
    ctx.save();
    ctx.strokeStyle = '#d62728';
    ctx.setLineDash([6, 4]);
    ctx.beginPath();
    ctx.moveTo(x, u.bbox.top);
    ctx.lineTo(x, u.bbox.top + u.bbox.height);
    ctx.stroke();
    ctx.restore();
  }
  select.addEventListener('change', drawAnswers);
  drawAnswers();
  charts.histogram = new uPlot({
    width: widthOf('chart-histogram'),
    height: 220,
    scales: { x: { time: false } },
    axes: [{ label: 'answer time (ms)' }, { label: 'answers', size: 60 }],
    series: [{ label: 'ms' }, { label: 'answers', stroke: '#1f77b4', fill: 'rgba(31,119,180,0.4)',
      paths: uPlot.paths.bars({ size: [1, 100] }), points: { show: false } }],
    hooks: { draw: [drawTimeoutLine, markDrawn('histogram')] }
  }, histogramOf(chosenDevices()), document.getElementById('chart-histogram'));

  // --- the line --------------------------------------------------------------------
  var line = data.line;
  var xs = line.bytes.map(function (b, k) { return line.t0 + k * line.w; });
  if (xs.length === 0) { xs = range.slice(); }
  var load = line.bytes.map(function (b) { return line.bitRate ? (b * 11 * 100) / (line.bitRate * line.w) : null; });
  var fps = line.frames.map(function (f) { return f / line.w; });
  if (load.length === 0) { load = [null, null]; fps = [null, null]; }
  makeTimeChart('load', timeOptions('load', 240, {
    scales: { x: { time: true, range: xRange }, '%': { range: [0, 100] }, fps: { range: zeroUp } },
    axes: [timeAxis, { scale: '%', label: 'load %', size: 60 }, { scale: 'fps', side: 1, label: 'frames/s', size: 60, grid: { show: false } }],
    series: [{ value: function (u, v) { return v == null ? '-' : clock(v); } },
      { label: 'load %', scale: '%', stroke: '#1f77b4', width: 1 },
      { label: 'frames/s', scale: 'fps', stroke: '#ff7f0e', width: 1 }]
  }), [xs, load, fps]);

  // Drops and noise per minute (or per bucket, when the buckets are longer).
  var per = Math.max(60, line.w);
  var minuteX = [];
  var drops = [];
  var noise = [];
  line.bytes.forEach(function (b, k) {
    var t = line.t0 + k * line.w;
    var slot = Math.floor((t - line.t0) / per);
    while (minuteX.length <= slot) { minuteX.push(line.t0 + minuteX.length * per); drops.push(0); noise.push(0); }
    drops[slot] += line.drops[k];
    noise[slot] += line.noise[k];
  });
  if (minuteX.length === 0) { minuteX = range.slice(); drops = [0, 0]; noise = [0, 0]; }
  makeTimeChart('drops', timeOptions('drops', 220, {
    scales: { x: { time: true, range: xRange }, n: { range: zeroUp }, b: { range: zeroUp } },
    axes: [timeAxis, { scale: 'n', label: 'dropped frames', size: 60 }, { scale: 'b', side: 1, label: 'noise bytes', size: 60, grid: { show: false } }],
    series: [{ value: function (u, v) { return v == null ? '-' : clock(v); } },
      { label: 'dropped frames per ' + per + ' s', scale: 'n', stroke: '#d62728', fill: 'rgba(214,39,40,0.4)',
        paths: uPlot.paths.bars({ size: [0.45, 40], align: -1 }), points: { show: false } },
      { label: 'noise bytes per ' + per + ' s', scale: 'b', stroke: '#7f7f7f', fill: 'rgba(127,127,127,0.4)',
        paths: uPlot.paths.bars({ size: [0.45, 40], align: 1 }), points: { show: false } }]
  }), [minuteX, drops, noise]);

  // --- message mix -------------------------------------------------------------------
  var mix = data.mix;
  var mixX = mix.map(function (m, k) { return k; });
  if (mixX.length === 0) { mixX = [0]; }
  charts.mix = new uPlot({
    width: widthOf('chart-mix'),
    height: 300,
    scales: { x: { time: false, range: [-0.5, Math.max(0.5, mixX.length - 0.5)] } },
    axes: [{ size: 130, rotate: -45, splits: function () { return mixX; },
      values: function (u, splits) { return splits.map(function (k) { return mix[k] ? mix[k].name : ''; }); } },
    { label: 'telegrams', size: 70 }],
    series: [{ value: function (u, k) { return mix[k] ? mix[k].name : '-'; } },
      { label: 'to devices', stroke: '#1f77b4', fill: 'rgba(31,119,180,0.5)', paths: uPlot.paths.bars({ size: [0.4, 40], align: -1 }), points: { show: false } },
      { label: 'from devices', stroke: '#ff7f0e', fill: 'rgba(255,127,14,0.5)', paths: uPlot.paths.bars({ size: [0.4, 40], align: 1 }), points: { show: false } }],
    hooks: { draw: [markDrawn('mix')] }
  }, [mixX, mix.length ? mix.map(function (m) { return m.to; }) : [0], mix.length ? mix.map(function (m) { return m.from; }) : [0]],
  document.getElementById('chart-mix'));

  // Every time chart starts with the whole run.
  charts.timeline.setScale('x', { min: range[0], max: range[1] });

  window.addEventListener('resize', function () {
    Object.keys(charts).forEach(function (name) {
      var u = charts[name];
      u.setSize({ width: widthOf('chart-' + name), height: u.height });
    });
  });
  window.zvReport = { charts: charts, drawn: drawn };
}());
