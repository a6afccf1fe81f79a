"""examples/fit_real_event.py: the published event MOA-2008-BLG-310 fitted,
and what it says about data it cannot use."""

import importlib.util
import json
import shutil

import pytest

from test_examples import EXAMPLES, run

DATA = EXAMPLES / "data" / "MB08310"


def test_fit_of_the_season_recovers_the_published_parameters(tmp_path):
    """The 2008 season (986 epochs within 40 days of the peak, about a second
    of fitting).  Published (Janczak et al. 2010, from a fit with the planet):
    t0 = 2454656.39975 HJD, u0 = 0.00300, tE = 11.14 d, t* = 0.05487 d.  A
    single lens fits the same crossing; the anomaly it leaves in the residuals
    moves t0 by about a minute, several times its statistical error, so t0
    gets an absolute bound (the crossing lasts two hours)."""
    pytest.importorskip("scipy")
    pytest.importorskip("matplotlib")
    proc = run("fit_real_event.py", "--window", "40", "--json", "fit.json", cwd=tmp_path)
    report = json.loads((tmp_path / "fit.json").read_text())
    p = report["parameters"]
    assert report["epochs"] == 986 and report["dof"] == 986 - 4 - 2 * 7
    assert abs(p["t0"]["value"] - 2454656.39975) < 0.003
    for name, published, tolerance in (("u0", 0.00300, 0.15), ("tE", 11.14, 0.10),
                                       ("rho", 0.05487 / 11.14, 0.10),
                                       ("tstar", 0.05487, 0.02)):
        value, error = p[name]["value"], p[name]["error"]
        assert p[name]["published"] == pytest.approx(published, rel=1e-12)
        assert abs(value / published - 1.0) < tolerance, (name, value)
        assert 0.0 < error < 0.2 * value and abs(value - published) < 4.0 * error, (name, p)
    # t* = rho tE, and the crossing measures it far better than rho or tE.
    assert p["tstar"]["value"] == pytest.approx(p["rho"]["value"] * p["tE"]["value"], rel=1e-12)
    assert p["tstar"]["error"] / p["tstar"]["value"] < 0.2 * p["rho"]["error"] / p["rho"]["value"]
    # Error bars scaled per telescope: chi2 per degree of freedom near 1.
    assert 0.95 < report["chi2"] / report["dof"] < 1.05
    assert report["limb_darkening"]["H"] == {"value": 0.36, "fixed": True}
    assert set(report["telescopes"]) == {"Auck", "Bron", "Canopus", "CTIO_H", "CTIO_I",
                                         "Danish", "MOA"}
    out = proc.stdout.splitlines()
    assert out[-2:] == ["wrote fit.json", "wrote fit_real_event.png"]
    assert any(line.split()[:2] == ["t*", "[d]"] for line in out)
    assert (tmp_path / "fit_real_event.png").stat().st_size > 50_000


def _replace(old, new):
    """A damage to the table: `old` (once in it) becomes `new`, of the same width."""
    assert len(old) == len(new)

    def damage(text):
        assert text.count(old) == 1
        return text.replace(old, new)
    return damage


CANOPUS = "Canopus_0300089_PLC_003.tbl"   # 12 epochs, on lines 24 to 35
BAD_TABLES = {
    "letters in a magnitude": (_replace("16.667", "16.6x7"),
                               ", line 26: column RELATIVE_MAGNITUDE: '16.6x7' is not a finite"),
    "an empty uncertainty": (_replace("0.261", "     "),
                             ", line 29: column MAGNITUDE_UNCERTAINTY: '' is not a finite"),
    "a zero uncertainty": (_replace("0.023", "0.000"),
                           ", line 24: column MAGNITUDE_UNCERTAINTY: 0.0 is not positive"),
    "nan for a time": (_replace("2454657.8836230", "            nan"),
                       ", line 25: column JD: 'nan' is not a finite"),
    "a truncated file": (lambda t: "".join(t.splitlines(keepends=True)[:30]),
                         ": NUMBER_OF_POINTS is 12, but the file has 7 data lines"),
    "no column header": (lambda t: "".join(l for l in t.splitlines(keepends=True)
                                           if not l.startswith("|")),
                         ", line 21: a data line before the '|' column header"),
    "a renamed column": (lambda t: t.replace("| RELATIVE_MAGNITUDE|", "|          MAG_REL|"),
                         ", line 21: no column RELATIVE_MAGNITUDE in the header"),
}


@pytest.mark.parametrize("case", sorted(BAD_TABLES))
def test_a_bad_table_is_named_with_its_line(case, tmp_path):
    pytest.importorskip("scipy")
    damage, message = BAD_TABLES[case]
    data = tmp_path / "data"
    data.mkdir()
    shutil.copy(DATA / "MOA_0300089_PLC_007.tbl", data)
    (data / CANOPUS).write_text(damage((DATA / CANOPUS).read_text()))
    proc = run("fit_real_event.py", "--data", str(data), "--json", "fit.json", cwd=tmp_path,
               check=False)
    assert proc.returncode != 0 and "Traceback" not in proc.stderr
    assert f"{data / CANOPUS}{message}" in proc.stderr, proc.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["data"]   # no JSON, no plot


def test_missing_or_empty_directory_and_missing_packages(tmp_path):
    pytest.importorskip("scipy")
    for data, message in ((tmp_path / "nowhere", "no such data directory"),
                          (tmp_path, "no photometry tables (*.tbl) in it")):
        proc = run("fit_real_event.py", "--data", str(data), cwd=tmp_path, check=False)
        assert proc.returncode != 0 and "Traceback" not in proc.stderr
        assert proc.stderr.strip() == f"fit_real_event.py: {data}: {message}"
    proc = run("fit_real_event.py", check=False, block=["scipy", "scipy.optimize"], cwd=tmp_path)
    assert proc.returncode == 1 and "Traceback" not in proc.stderr
    assert "pip install '.[examples]'" in proc.stderr
    assert list(tmp_path.iterdir()) == []


def test_tables_are_read_by_their_header_not_by_position(tmp_path):
    """Columns found by name and bounded by the header's '|', wherever they
    stand; comments, blank lines and Windows line ends pass; an empty cell
    of a column the fit does not use is no error."""
    pytest.importorskip("scipy")
    spec = importlib.util.spec_from_file_location("fit_real_event",
                                                  EXAMPLES / "fit_real_event.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    table = ("\\TIME_SERIES_DATA_FILTER = \"I\"\r\n"
             "\\ a comment line\r\n"
             "\r\n"
             "|  FLUX| MAGNITUDE_UNCERTAINTY|             JD| RELATIVE_MAGNITUDE|\r\n"
             "|  real|                  real|           real|               real|\r\n"
             "   1.5                  0.012   2454656.12345             15.000\r\n"
             "                        0.250   2454657.50000             17.5  \r\n")
    path = tmp_path / "X_0300089_PLC_009.tbl"
    path.write_bytes(table.encode())
    keywords, jd, mag, err = module.read_table(path)
    assert keywords["TIME_SERIES_DATA_FILTER"] == "I"
    assert jd.tolist() == [2454656.12345, 2454657.5]
    assert mag.tolist() == [15.0, 17.5] and err.tolist() == [0.012, 0.25]
    telescope = module.Telescope(path)
    assert (telescope.name, telescope.band) == ("X", "I")
    # F = 10^(-0.4 (m - 18)), and its error to first order in the magnitude's.
    assert telescope.flux[0] == pytest.approx(10.0 ** 1.2, rel=1e-15)
    assert telescope.sigma[1] == pytest.approx(10.0 ** 0.2 * 0.4 * 2.302585092994046 * 0.25,
                                               rel=1e-15)
