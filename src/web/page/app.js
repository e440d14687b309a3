// The station's web view: polls /api/state once a second and changes only the text
// nodes whose text changed; the chart and the log fetch only what is new.
'use strict';
(function () {
  const POLL_MS = 1000, UPLOADS_MS = 10000, MAX_LOG_LINES = 500;
  const $ = (id) => document.getElementById(id);
  const selfTest = new URLSearchParams(location.search).has('selftest');
  const problems = []; // script errors and refused resources, for the self-test

  const view = { slots: [], memory: [], built: false, slot: 14, chart: null, points: [],
                 newestMs: null, source: 'memory', logId: 0, lastState: null, fetchedAt: 0,
                 uploadsAt: -Infinity, costs: [] };

  function setText(node, text) {
    if (node.textContent !== text) node.textContent = text;
  }

  async function getJson(url) {
    const r = await fetch(url, { cache: 'no-store' });
    if (!r.ok) {
      let why = r.status + ' ' + r.statusText;
      try { why = (await r.json()).error || why; } catch (e) { /* not JSON */ }
      throw new Error(why);
    }
    return r.json();
  }

  // The panel's elements are made once, from the first state; later states change text only.
  function buildPanel(state) {
    const values = $('values'), memory = $('memory');
    for (const s of state.panel.slots) {
      if (s.slot < 21) {
        const b = document.createElement('button');
        b.type = 'button';
        b.className = 'value';
        b.dataset.slot = s.slot;
        b.setAttribute('role', 'listitem');
        const label = document.createElement('span');
        label.className = 'label';
        label.textContent = s.label + (s.unit ? ' [' + s.unit + ']' : '');
        const text = document.createElement('span');
        text.className = 'text';
        b.append(label, text);
        b.addEventListener('click', () => selectSlot(s.slot));
        values.append(b);
        view.slots.push({ button: b, text: text.appendChild(document.createTextNode('')), label: s.label, unit: s.unit });
      } else {
        const dt = document.createElement('dt');
        dt.textContent = s.label;
        const dd = document.createElement('dd');
        memory.append(dt, dd);
        view.memory.push(dd.appendChild(document.createTextNode('')));
      }
    }
    view.built = true;
    markSelected();
  }

  function updatePanel(state) {
    if (!view.built) buildPanel(state);
    const slots = state.panel.slots;
    for (let i = 0; i < view.slots.length; ++i) setText(view.slots[i].text, slots[i].text);
    for (let i = 0; i < view.memory.length; ++i) setText(view.memory[i], slots[21 + i].text || '–');
    setText($('beacon'), state.panel.beacon);
    setText($('time'), state.panel.time);
    setText($('uptime'), state.panel.uptime);
    setText($('counters'), state.counters.line);
    setText($('call'), state.station.call);
    updateMessages(state.panel.messages);
    updateLink(state);
  }

  function updateMessages(messages) {
    const list = $('messages');
    // The newest on top; the list is short, but only changed lines are touched.
    const wanted = messages.slice().reverse();
    while (list.children.length > wanted.length) list.lastChild.remove();
    for (let i = 0; i < wanted.length; ++i) {
      let li = list.children[i];
      if (!li) { li = document.createElement('li'); list.append(li); }
      setText(li, wanted[i]);
    }
  }

  function ago(ms) {
    const s = Math.max(0, Math.round(ms / 1000));
    if (s < 120) return s + ' s ago';
    if (s < 7200) return Math.round(s / 60) + ' min ago';
    if (s < 172800) return Math.round(s / 3600) + ' h ago';
    return Math.round(s / 86400) + ' d ago';
  }

  function updateLink(state) {
    const link = state.link;
    const badge = $('link');
    const on = link.connected;
    if (badge.classList.contains('on') !== on) badge.classList.toggle('on', on);
    setText($('link-state'), link.protocol + ' ' + link.state);
    let last = 'no frame yet';
    if (link.lastFrameMs !== null) {
      const now = state.now + (performance.now() - view.fetchedAt);
      last = 'last frame ' + new Date(link.lastFrameMs).toISOString().slice(11, 19) + ' UTC, ' + ago(now - link.lastFrameMs);
    }
    setText($('link-last'), '· ' + last);
  }

  // --- chart ---
  function markSelected() {
    for (const s of view.slots) s.button.classList.toggle('on', Number(s.button.dataset.slot) === view.slot);
  }

  function drawChart(info) {
    const label = info.label + (info.unit ? ' [' + info.unit + ']' : '');
    setText($('chart-title'), '· ' + label);
    const data = view.points;
    const note = info.truncated ? 'showing the first ' + info.count + ' points: choose a shorter range'
      : data.length === 0 ? 'no values yet' : data.length + ' points' + (info.source === 'database' ? ' from the database' : '');
    setText($('chart-note'), note);
    view.note = note;
    if (typeof Dygraph === 'undefined') return;
    const file = data.length ? data : [[new Date(), null]];
    if (!view.chart) {
      // Its legend sets style attributes, which the page's policy refuses; the
      // value under the pointer goes into the note below the chart instead.
      Dygraph.PLUGINS = Dygraph.PLUGINS.filter((p) => p !== Dygraph.Plugins.Legend);
      view.chart = new Dygraph($('chart'), file, {
        labels: ['time (UTC)', label], labelsUTC: true, legend: 'never', drawPoints: data.length < 200,
        strokeWidth: 1.5, colors: ['#2a6f97'], connectSeparatedPoints: true, axes: { x: { axisLabelWidth: 70 } },
        highlightCallback: (e, x, pts) => { if (pts.length) setText($('chart-note'), new Date(x).toISOString().slice(0, 19).replace('T', ' ') + ' UTC: ' + pts[0].yval + ' ' + view.chartInfo.unit); },
        unhighlightCallback: () => setText($('chart-note'), view.note),
      });
    } else {
      view.chart.updateOptions({ file, labels: ['time (UTC)', label], drawPoints: data.length < 200 });
    }
    view.chartInfo = info;
  }

  function toPoints(info) {
    const pts = new Array(info.t.length);
    for (let i = 0; i < info.t.length; ++i) pts[i] = [new Date(info.t[i]), info.v[i]];
    return pts;
  }

  async function loadChart() {
    const slot = view.slot;
    let url = '/api/history?slot=' + slot;
    if (view.source === 'database') {
      const from = $('from').value, to = $('to').value;
      if (from) url += '&from=' + encodeURIComponent(from);
      if (to) url += '&to=' + encodeURIComponent(to);
    }
    try {
      const info = await getJson(url);
      if (slot !== view.slot) return;
      view.points = toPoints(info);
      view.newestMs = info.t.length ? info.t[info.t.length - 1] : null;
      drawChart(info);
    } catch (e) {
      setText($('chart-note'), 'chart: ' + e.message);
    }
  }

  // New values of the history in memory, appended as they come.
  async function extendChart(state) {
    if (view.source !== 'memory' || !view.chartInfo || state.history.newestMs === null) return;
    if (view.newestMs !== null && state.history.newestMs <= view.newestMs) return;
    const slot = view.slot;
    const since = view.newestMs === null ? '' : '&since=' + view.newestMs;
    const info = await getJson('/api/history?slot=' + slot + since);
    if (slot !== view.slot || view.source !== 'memory') return;
    if (view.newestMs === null) view.points = [];
    view.points.push(...toPoints(info));
    // The station keeps 10000 values in memory; so does the chart.
    if (view.points.length > 10000) view.points.splice(0, view.points.length - 10000);
    if (info.t.length) view.newestMs = info.t[info.t.length - 1];
    drawChart({ ...view.chartInfo, count: view.points.length, truncated: false });
  }

  function selectSlot(slot) {
    view.slot = slot;
    markSelected();
    return loadChart();
  }

  // --- status log ---
  async function updateLog(state) {
    if (state.log.lastId <= view.logId) return;
    const answer = await getJson('/api/log?after=' + view.logId + '&limit=' + MAX_LOG_LINES);
    const list = $('log');
    const fragment = document.createDocumentFragment();
    for (const line of answer.lines) { // newest first
      const li = document.createElement('li');
      li.className = line.kind;
      li.textContent = line.text;
      fragment.append(li);
    }
    list.prepend(fragment);
    while (list.children.length > MAX_LOG_LINES) list.lastChild.remove();
    view.logId = Math.max(view.logId, answer.lastId);
  }

  function setFilter(kind) {
    const list = $('log');
    list.className = 'log show-' + kind;
    for (const b of $('log-filter').querySelectorAll('button')) b.classList.toggle('on', b.dataset.kind === kind);
  }

  // --- uploads ---
  function cell(tr, text, cls) {
    const td = document.createElement('td');
    td.textContent = text;
    if (cls) td.className = cls;
    tr.append(td);
  }

  async function updateUploads() {
    const answer = await getJson('/api/uploads');
    const body = $('uploads').tBodies[0];
    const rows = [];
    for (const s of answer.servers) {
      const tr = document.createElement('tr');
      const th = document.createElement('th');
      th.textContent = s.server + (s.configured ? '' : ' (not set)') + (s.resting ? ', resting' : '');
      th.title = s.url;
      tr.append(th);
      cell(tr, String(s.waiting));
      cell(tr, s.oldestWaitingMs ? ago(answer.now - s.oldestWaitingMs) : '–');
      cell(tr, s.sent === undefined ? '–' : String(s.sent));
      cell(tr, s.givenUp === undefined ? '–' : String(s.givenUp));
      cell(tr, s.lastError || '', 'error');
      rows.push(tr);
    }
    body.replaceChildren(...rows);
  }

  // --- the loop ---
  async function poll() {
    try {
      const state = await getJson('/api/state');
      view.fetchedAt = performance.now();
      view.lastState = state;
      const t0 = performance.now();
      updatePanel(state);
      view.costs.push(performance.now() - t0);
      if (view.costs.length > 100) view.costs.shift();
      if (!view.chartInfo) await loadChart(); else await extendChart(state);
      await updateLog(state);
      if (performance.now() - view.uploadsAt > UPLOADS_MS) {
        view.uploadsAt = performance.now();
        await updateUploads();
      }
    } catch (e) {
      setText($('link-state'), 'station not answering');
      $('link').classList.remove('on');
    }
  }

  async function loop() {
    await poll();
    setTimeout(loop, POLL_MS);
  }

  // --- self-test (?selftest): checks what the page shows against the API ---
  async function runSelfTest() {
    const out = [];
    let failed = 0;
    let passed = 0;
    const check = (name, ok, detail) => { out.push((ok ? 'PASS ' : 'FAIL ') + name + (detail ? ': ' + detail : '')); if (ok) ++passed; else ++failed; };
    // Measured, not judged: how fast is fast enough depends on the machine.
    const figure = (name, detail) => out.push('FIGURE ' + name + ': ' + detail);
    const report = () => {
      const pre = $('selftest');
      pre.hidden = false;
      pre.textContent = out.join('\n') + '\nSELFTEST DONE pass=' + passed + ' fail=' + failed + '\n';
    };
    try {
      await poll();
      const polled = view.lastState;
      check('log', $('log').children.length > 0 && view.logId >= polled.log.lastId, 'lines ' + $('log').children.length);
      const state = await getJson('/api/state');
      updatePanel(state);
      const shown = view.slots.map((s) => s.text.textContent);
      const wanted = state.panel.slots.slice(0, 21).map((s) => s.text);
      check('panel values', JSON.stringify(shown) === JSON.stringify(wanted), shown.slice(0, 3).join(' | '));
      const memory = view.memory.map((n) => n.textContent);
      check('memory check', JSON.stringify(memory) === JSON.stringify(state.panel.slots.slice(21).map((s) => s.text || '–')));
      check('beacon line', $('beacon').textContent === state.panel.beacon, state.panel.beacon);
      check('counters', $('counters').textContent === state.counters.line, state.counters.line);
      check('link', $('link-state').textContent === state.link.protocol + ' ' + state.link.state, $('link-state').textContent);
      check('messages', $('messages').children.length === state.panel.messages.length);
      check('uploads', $('uploads').tBodies[0].rows.length === 2);
      check('chart library', typeof Dygraph === 'function');
      // A click on a value draws its history.
      const target = view.slots[5];
      target.button.click();
      const history = await getJson('/api/history?slot=5');
      await loadChart();
      check('chart follows a click', view.chart !== null && view.chart.getLabels()[1].startsWith(target.label) &&
            view.chart.numRows() === Math.max(1, history.t.length), view.chart ? view.chart.getLabels()[1] + ', ' + view.chart.numRows() + ' rows' : 'no chart');
      check('selected value marked', target.button.classList.contains('on'));
      // The cost of a panel update: every value changed, and the layout it causes,
      // many times over (the clock is coarse, so the sum says more than each one).
      const states = [];
      for (let n = 0; n < 50; ++n) {
        const changed = JSON.parse(JSON.stringify(state));
        for (const s of changed.panel.slots) s.text = s.text + (n % 2 ? '1' : '');
        changed.counters.line += n;
        states.push(changed);
      }
      const costs = [];
      const start = performance.now();
      for (const changed of states) {
        const t0 = performance.now();
        updatePanel(changed);
        void document.body.offsetHeight; // the layout the browser would do before painting
        costs.push(performance.now() - t0);
      }
      const mean = (performance.now() - start) / states.length;
      updatePanel(state);
      const worst = Math.max(...costs);
      figure('panel update cost', 'mean ' + mean.toFixed(3) + ' ms, worst ' + worst.toFixed(3) + ' ms per frame');
      setFilter('error');
      const hidden = [...$('log').children].filter((li) => !li.classList.contains('error')).every((li) => getComputedStyle(li).display === 'none');
      check('log filter', hidden);
      setFilter('all');
      check('no script errors or refused resources', problems.length === 0, problems.join('; '));
    } catch (e) {
      check('self-test ran', false, e.message);
    }
    report();
  }

  window.addEventListener('error', (e) => problems.push('error: ' + e.message));
  window.addEventListener('unhandledrejection', (e) => problems.push('rejection: ' + e.reason));
  document.addEventListener('securitypolicyviolation', (e) => problems.push('refused: ' + e.violatedDirective + ' ' + e.blockedURI));

  $('log-filter').addEventListener('click', (e) => { if (e.target.dataset.kind) setFilter(e.target.dataset.kind); });
  $('range').addEventListener('change', (e) => { if (e.target.name === 'source') { view.source = e.target.value; loadChart(); } });
  $('range').addEventListener('submit', (e) => { e.preventDefault(); view.source = $('range').elements.source.value; loadChart(); });

  if (selfTest) runSelfTest().then(() => setTimeout(loop, POLL_MS)); else loop();
})();
